#include "platform/ProfileCache.h"

#include "platform/ProfileFile.h"

#include <QFile>

#include <sys/stat.h>

#include <ctime>

namespace wibblet {

namespace {

constexpr qint64 kNsPerSecond = 1'000'000'000;
// Well above the kernel's timestamp step, which is one scheduler tick.
constexpr qint64 kRecentNs = 50'000'000;

qint64 Ns(const timespec& t)
{
    return qint64(t.tv_sec) * kNsPerSecond + t.tv_nsec;
}

} // namespace

ProfileCache::Stamp ProfileCache::StampOf(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {true,           quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
            Ns(st.st_mtim), Ns(st.st_ctim)};
}

bool ProfileCache::Recent(const Stamp& stamp)
{
    if (!stamp.exists)
        return false;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::max(stamp.modifiedNs, stamp.changedNs) + kRecentNs > Ns(now);
}

std::shared_ptr<const ProfileSnapshot> ProfileCache::Current(const QString& path)
{
    const Stamp stamp = StampOf(path);
    // A file that changed within the last moments may change again without
    // its times moving: it is read again until it has been quiet a while.
    if (snapshot_ && path == path_ && stamp_ == stamp && !Recent(stamp))
        return snapshot_;

    QByteArray data;
    if (stamp.exists) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            data = file.readAll();
    }
    if (snapshot_ && path == path_ && data == snapshot_->Data()) {
        stamp_ = stamp;
        return snapshot_;
    }
    Adopt(path, stamp, std::move(data));
    return snapshot_;
}

QString ProfileCache::Read(const QString& path, const QString& section, const QString& key,
                           const QString& def)
{
    return Current(path)->Value(section, key, def);
}

bool ProfileCache::Write(const QString& path, const QString& section, const QString& key,
                         const QString& value)
{
    QByteArray written;
    const bool done = ProfileFile::Write(path, section, key, value, &written);
    return Keep(path, done, std::move(written));
}

bool ProfileCache::WriteAll(const QString& path, const QList<ProfileFile::Edit>& edits)
{
    QByteArray written;
    const bool done = ProfileFile::WriteAll(path, edits, &written);
    return Keep(path, done, std::move(written));
}

bool ProfileCache::Update(
    const QString& path,
    const std::function<QList<ProfileFile::Edit>(const ProfileSnapshot&)>& decide)
{
    QByteArray written;
    const bool done = ProfileFile::Update(
        path,
        [&](const QByteArray& data) {
            if (!snapshot_ || path != path_ || data != snapshot_->Data())
                Adopt(path, std::nullopt, data);
            return decide(*snapshot_);
        },
        &written);
    return Keep(path, done, std::move(written));
}

bool ProfileCache::Keep(const QString& path, bool done, QByteArray written)
{
    if (!done) {
        // Whatever is on disk now is read again on the next use.
        stamp_.reset();
        return false;
    }
    // The written contents are kept without their stamp: a save right after
    // ours could carry the stamp we would take, so the next use compares the
    // bytes once.
    if (snapshot_ && path == path_ && written == snapshot_->Data())
        stamp_.reset();
    else
        Adopt(path, std::nullopt, std::move(written));
    return true;
}

void ProfileCache::Adopt(const QString& path, const std::optional<Stamp>& stamp, QByteArray data)
{
    path_ = path;
    stamp_ = stamp;
    snapshot_ = std::make_shared<const ProfileSnapshot>(std::move(data));
    ++loads_;
}

} // namespace wibblet
