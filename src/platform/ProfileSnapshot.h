#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <utility>

namespace wibblet {

/// One version of a settings file, parsed once: every value by section and
/// key, looked up the way ProfileFile::Read finds it (names without regard to
/// ASCII case, the first key of the first section that has it).
class ProfileSnapshot {
public:
    ProfileSnapshot() = default;
    explicit ProfileSnapshot(QByteArray data);

    /// The value, or def when the section or key is missing.
    QString Value(const QString& section, const QString& key, const QString& def) const;
    /// The keys of a section whose value (as Value gives it) is value, in
    /// their folded form (see ProfileFile::FoldName), in no particular order.
    QList<QByteArray> KeysWithValue(const QString& section, const QString& value) const;
    /// The keys of a section, folded, with their values, in no particular
    /// order.
    QList<std::pair<QByteArray, QString>> KeysIn(const QString& section) const;
    /// The file's bytes.
    const QByteArray& Data() const { return data_; }

private:
    static QByteArray Key(QByteArrayView section, QByteArrayView key);

    QByteArray data_;
    /// Values by folded section and key, joined by a line break.
    QHash<QByteArray, QString> values_;
    /// Folded keys by folded section and value; built when first asked.
    mutable QHash<QByteArray, QHash<QString, QList<QByteArray>>> keysByValue_;
    mutable bool keysByValueBuilt_ = false;
};

} // namespace wibblet
