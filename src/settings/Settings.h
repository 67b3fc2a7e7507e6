#pragma once

#include "platform/ProfileCache.h"
#include "settings/BroadcastList.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace wibblet {

/// The settings record, read once at start-up from the settings file beside
/// the program file, and the only door to that file (GetIni, PutIni).
class Settings {
public:
    static QString DefaultTitle() { return QStringLiteral("致命的なエラー(嘘)"); }
    static QString DefaultOk() { return QStringLiteral("確認"); }
    static QString DefaultErrExe() { return QStringLiteral("EXPLORER.EXE"); }
    /// The largest ERR_CNT taken from the file. Every name costs a read and a
    /// write at each start, and no one keeps ten thousand fake program names;
    /// a larger value is a damaged file, read as 0.
    static constexpr qint32 MaxErrCnt = 9999;

    /// A switch is on exactly when its text is "1".
    static bool IsOn(const QString& value) { return value == QStringLiteral("1"); }

    /// Reads one value; def when the file, section or key is missing.
    QString GetIni(const QString& section, const QString& key, const QString& def) const;
    /// Writes one value; failures are not reported.
    void PutIni(const QString& section, const QString& key, const QString& value) const;
    /// Writes several values with one replacement of the file, as PutIni
    /// one after another would leave it; failures are not reported.
    void PutAll(const QList<ProfileFile::Edit>& edits) const;
    /// Writes what decide makes of the file as it is on disk, under the
    /// write's guard (ProfileFile::Update); false when it could not be written.
    bool
    UpdateIni(const std::function<QList<ProfileFile::Edit>(const ProfileSnapshot&)>& decide) const;
    /// The file as it is now, for reading many values at once: one look at
    /// the disk instead of one per value.
    std::shared_ptr<const ProfileSnapshot> Snapshot() const;
    /// What the broadcast list keeps between datagrams, beside the file it
    /// comes from.
    BroadcastListMemory& BrdListMemory() const { return brdList_; }

    /// Fills the record from the file: DEF_TITLE, DEF_OK, ERR_CNT, the
    /// program names, USER_NAME, SECRET_OK, IP_MSG, in that order.
    void Read();
    /// Writes the record back in the order it was read, except USER_NAME,
    /// which start-up writes once it has been defaulted: one write of the
    /// file, however many program names there are.
    void WriteBack() const;

    QString path; ///< the settings file
    QString DEF_TITLE;
    QString DEF_OK;
    qint32 ERR_CNT = 0;
    QStringList ERR_EXE; ///< indices 0 … ERR_CNT
    QString USER_NAME;
    QString SECRET_OK;
    QString IP_MSG;

private:
    /// The file stays parsed between reads; it is parsed again only when it
    /// changed on disk.
    mutable ProfileCache file_;
    mutable BroadcastListMemory brdList_;
};

/// Byte length of a text in code page 932; the null text gives 0.
qsizetype LenAnsi(const QString& value);
/// The text itself, or "0" when it is null or empty.
QString NzVal(const QString& value);

} // namespace wibblet
