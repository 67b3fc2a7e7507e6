#pragma once

#include "platform/ProfileFile.h"
#include "platform/ProfileSnapshot.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace wibblet {

/// A settings file kept parsed in memory. Every use checks the file's
/// identity, size and change times (one stat) and parses it again only when
/// they moved, so edits by hand are still seen. Writes go through
/// ProfileFile::Update (a new file renamed over the old one, under a guard
/// against saves in between) and the cache takes the written contents.
class ProfileCache {
public:
    /// The file as it is on disk now; a missing or unreadable file is empty.
    std::shared_ptr<const ProfileSnapshot> Current(const QString& path);
    /// ProfileFile::Read through the cache.
    QString Read(const QString& path, const QString& section, const QString& key,
                 const QString& def);
    /// ProfileFile::Write, keeping the cache in step.
    bool Write(const QString& path, const QString& section, const QString& key,
               const QString& value);
    /// ProfileFile::WriteAll, keeping the cache in step.
    bool WriteAll(const QString& path, const QList<ProfileFile::Edit>& edits);
    /// ProfileFile::Update, with the contents decide is to see parsed (the
    /// kept copy when they are the same bytes), keeping the cache in step.
    bool Update(const QString& path,
                const std::function<QList<ProfileFile::Edit>(const ProfileSnapshot&)>& decide);

    /// Number of times the file was parsed, for tests and benchmarks.
    int Loads() const { return loads_; }

private:
    struct Stamp {
        bool exists = false;
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modifiedNs = 0;
        qint64 changedNs = 0;
        bool operator==(const Stamp&) const = default;
    };
    static Stamp StampOf(const QString& path);
    /// A file changed so recently that a second change could still carry the
    /// same times (they tick in steps of a few milliseconds).
    static bool Recent(const Stamp& stamp);
    /// A stamp of nullopt: the data's stamp is not known, the next use
    /// looks at the disk again.
    void Adopt(const QString& path, const std::optional<Stamp>& stamp, QByteArray data);
    /// Takes what a write left on disk: written, when done.
    bool Keep(const QString& path, bool done, QByteArray written);

    QString path_;
    std::optional<Stamp> stamp_;
    std::shared_ptr<const ProfileSnapshot> snapshot_;
    int loads_ = 0;
};

} // namespace wibblet
