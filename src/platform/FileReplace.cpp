#include "platform/FileReplace.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio> // renameat2
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace wibblet::FileReplace {

namespace {

// As many links as the system follows in one path.
constexpr int kMaxLinks = 40;
constexpr int kMaxNameTries = 100;

// The file a write to path lands in: a symbolic link is kept and its target
// written, as an editor saving through it would.
QString Target(const QString& path)
{
    QString target = path;
    for (int i = 0; i < kMaxLinks && QFileInfo(target).isSymLink(); ++i)
        target = QFileInfo(target).symLinkTarget();
    return target;
}

bool WriteFully(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// A new file beside target, opened for writing; its name in *name. A new
// settings file gets the usual mode; a replacement starts private and takes
// the old file's mode once written.
int CreateBeside(const QByteArray& target, bool replacing, QByteArray* name)
{
    for (int i = 0; i < kMaxNameTries; ++i) {
        *name = target + '.'
                + QByteArray::number(QRandomGenerator::global()->bounded(36 * 36 * 36 * 36), 36);
        const int fd = ::open(name->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                              replacing ? 0600 : 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

QByteArray StampText(const struct stat& st)
{
    QByteArray stamp;
    for (const qint64 field :
         {qint64(st.st_dev), qint64(st.st_ino), qint64(st.st_size), qint64(st.st_mtim.tv_sec),
          qint64(st.st_mtim.tv_nsec), qint64(st.st_ctim.tv_sec), qint64(st.st_ctim.tv_nsec)})
        stamp += QByteArray::number(field) + ' ';
    return stamp;
}

// The identity, size and change times of an open file, or of a path;
// empty when there is none.
QByteArray StampOfFile(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? StampText(st) : QByteArray();
}

QByteArray StampOfPath(const QByteArray& path)
{
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 ? StampText(st) : QByteArray();
}

// The file's identity: device and inode (a rename changes its change time).
QByteArray IdentityOfPath(const QByteArray& path)
{
    struct stat st {};
    return ::stat(path.constData(), &st) == 0
               ? QByteArray::number(qint64(st.st_dev)) + ' ' + QByteArray::number(qint64(st.st_ino))
               : QByteArray();
}

QByteArray IdentityOfStamp(const QByteArray& stamp)
{
    return stamp.split(' ').mid(0, 2).join(' ');
}

// Puts the new file in place of target, unless target is no longer the file
// expected: a save that lands between the last look and the rename must not
// be lost. The two names are swapped in one step, so what was displaced is
// known for certain, and is swapped back if it was not the expected file.
// Where the file system cannot swap, a plain rename does.
Result PutInPlace(const QByteArray& name, const QByteArray& target, const QByteArray& expected)
{
    if (expected.isEmpty()) {
        // A new file: never over one that appeared meanwhile.
        if (::renameat2(AT_FDCWD, name.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE)
            == 0)
            return Result::Replaced;
        if (errno == EEXIST)
            return Result::Changed;
    } else {
        const QByteArray ours = IdentityOfPath(name);
        if (::renameat2(AT_FDCWD, name.constData(), AT_FDCWD, target.constData(), RENAME_EXCHANGE)
            == 0) {
            for (int i = 0; i < kMaxNameTries && IdentityOfPath(name) != expected; ++i) {
                if (IdentityOfPath(name) == ours)
                    return Result::Changed;
                // Someone else's save was displaced: it goes back.
                if (::renameat2(AT_FDCWD, name.constData(), AT_FDCWD, target.constData(),
                                RENAME_EXCHANGE)
                    != 0) {
                    ::rename(name.constData(), target.constData());
                    return Result::Failed;
                }
            }
            return Result::Replaced;
        }
    }
    if (errno != EINVAL && errno != ENOSYS)
        return Result::Failed;
    return ::rename(name.constData(), target.constData()) == 0 ? Result::Replaced : Result::Failed;
}

} // namespace

bool ReadWhole(const QString& path, Contents* contents)
{
    *contents = {};
    QFile file(path);
    if (!file.exists())
        return true;
    // Never decide on a file we could not read whole.
    if (!file.open(QIODevice::ReadOnly))
        return false;
    contents->stamp = StampOfFile(file.handle());
    contents->bytes = file.readAll();
    return file.error() == QFileDevice::NoError;
}

Result Replace(const QString& path, const QByteArray& contents, const Contents& expected)
{
    const QByteArray target = QFile::encodeName(Target(path));
    struct stat old {};
    const bool replacing = ::stat(target.constData(), &old) == 0;
    if (replacing && (S_ISDIR(old.st_mode) || ::access(target.constData(), W_OK) != 0))
        return Result::Failed;

    QByteArray name;
    const int fd = CreateBeside(target, replacing, &name);
    if (fd < 0)
        return Result::Failed;
    bool written = WriteFully(fd, contents);
    if (written && replacing)
        written = ::fchmod(fd, old.st_mode & 07777) == 0;
    written = written && ::fdatasync(fd) == 0;
    written = ::close(fd) == 0 && written;

    // The bytes catch an edit made in place within one tick of the clock;
    // the stamp, taken last, a file renamed over ours while we compared.
    Result result = written ? Result::Replaced : Result::Failed;
    Contents now;
    if (written
        && (!ReadWhole(QFile::decodeName(target), &now) || now.bytes != expected.bytes
            || now.stamp != expected.stamp || StampOfPath(target) != expected.stamp))
        result = Result::Changed;
    if (result == Result::Replaced)
        result =
            PutInPlace(name, target, replacing ? IdentityOfStamp(expected.stamp) : QByteArray());
    // After a swap the old file stands under the new file's name.
    ::unlink(name.constData());
    return result;
}

} // namespace wibblet::FileReplace
