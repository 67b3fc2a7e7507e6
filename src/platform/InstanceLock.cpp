#include "platform/InstanceLock.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace wibblet {

InstanceLock::~InstanceLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool InstanceLock::TryAcquire(const QString& file)
{
    if (fd_ >= 0)
        return true;
    const QByteArray path = QFile::encodeName(file);
    // A lock file in the config folder is made on the first start; the
    // program file always exists. Read-only: a running program file cannot
    // be opened for writing.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_CREAT, 0600);
    if (fd < 0)
        return true; // nothing to lock on: do not refuse to start
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return !held; // a file system without locks does not refuse either
    }
    fd_ = fd;
    return true;
}

} // namespace wibblet
