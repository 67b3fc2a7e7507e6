#include "platform/SignalWatcher.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace wibblet {

namespace {

// The handler can reach nothing but this: the write end of the pair.
std::atomic<int> writeFd{-1};

extern "C" void OnSignal(int number)
{
    const int saved = errno;
    const int fd = writeFd.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(number);
        // A full pair drops the byte: the same ending is already queued many times over.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = saved;
}

} // namespace

SignalWatcher::SignalWatcher(const QList<int>& signalNumbers, QObject* parent) : QObject(parent)
{
    int pair[2];
    if (writeFd.load() >= 0
        || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0)
        return;
    readFd_ = pair[0];
    writeFd.store(pair[1]);
    notifier_ = new QSocketNotifier(readFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalWatcher::ReadPending);

    ok_ = true;
    for (const int number : signalNumbers) {
        struct sigaction action = {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        // Interrupted system calls resume: the rest of the program never expects EINTR.
        action.sa_flags = SA_RESTART;
        Saved saved{number, {}};
        if (::sigaction(number, &action, &saved.action) != 0) {
            ok_ = false;
            continue;
        }
        previous_.append(saved);
    }
}

SignalWatcher::~SignalWatcher()
{
    // Handlers first, so that no handler writes into a closed descriptor.
    for (const Saved& saved : previous_)
        ::sigaction(saved.number, &saved.action, nullptr);
    if (readFd_ < 0)
        return;
    const int fd = writeFd.exchange(-1);
    ::close(fd);
    ::close(readFd_);
}

void SignalWatcher::ReadPending()
{
    unsigned char bytes[64];
    for (;;) {
        const ssize_t n = ::read(readFd_, bytes, sizeof bytes);
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i)
            Q_EMIT Received(bytes[i]);
    }
}

} // namespace wibblet
