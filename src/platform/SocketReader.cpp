#include "platform/SocketReader.h"

#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace wibblet {

namespace {

constexpr int kMaxDatagram = 65536;
// Datagrams per recvmmsg call, and per look at whether to stop.
constexpr int kReadBatch = 32;
constexpr int kReadPerPass = 1024;
// While the queue is full, the kernel keeps what comes (and drops what it
// has no room for) rather than this thread reading only to drop.
constexpr int kFullWaitMs = 1;

} // namespace

SocketReader::SocketReader(int fd, ReceiveQueue& queue, std::mutex& lock,
                           std::function<void()> wake)
    : fd_(fd),
      stopFd_(::eventfd(0, EFD_CLOEXEC)),
      queue_(queue),
      lock_(lock),
      wake_(std::move(wake)),
      buffer_(new char[kReadBatch * kMaxDatagram]),
      thread_(&SocketReader::Run, this)
{
}

SocketReader::~SocketReader()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopFd_, &one, sizeof one);
    thread_.join();
    ::close(stopFd_);
}

void SocketReader::Run()
{
    // Named so that /proc and a debugger tell it from the program's thread.
    ::pthread_setname_np(::pthread_self(), "socket reader");
    for (;;) {
        pollfd waits[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        bool full;
        {
            const std::lock_guard<std::mutex> locked(lock_);
            full = queue_.IsFull();
        }
        // A full queue: wait for the stop only, a moment at a time.
        const int rc = full ? ::poll(&waits[1], 1, kFullWaitMs) : ::poll(waits, 2, -1);
        if (rc < 0 && errno != EINTR) {
            return;
        }
        if (waits[1].revents != 0) {
            return;
        }
        if (!full && waits[0].revents != 0) {
            Drain();
        }
    }
}

void SocketReader::Drain()
{
    mmsghdr messages[kReadBatch];
    iovec parts[kReadBatch];
    sockaddr_in from[kReadBatch];
    for (int read = 0; read < kReadPerPass;) {
        for (int i = 0; i < kReadBatch; ++i) {
            parts[i] = {buffer_.get() + i * kMaxDatagram, kMaxDatagram};
            messages[i] = {};
            messages[i].msg_hdr.msg_name = &from[i];
            messages[i].msg_hdr.msg_namelen = sizeof from[i];
            messages[i].msg_hdr.msg_iov = &parts[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        const int got = ::recvmmsg(fd_, messages, kReadBatch, MSG_DONTWAIT, nullptr);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            // EAGAIN: the kernel is empty; any other error was the socket's
            // pending one, now cleared: poll says when more comes.
            return;
        }
        bool wasEmpty;
        bool full;
        {
            const std::lock_guard<std::mutex> locked(lock_);
            wasEmpty = queue_.IsEmpty();
            for (int i = 0; i < got; ++i) {
                queue_.Push(static_cast<const char*>(parts[i].iov_base), messages[i].msg_len,
                            from[i].sin_addr.s_addr, ntohs(from[i].sin_port));
            }
            full = queue_.IsFull();
        }
        if (wasEmpty && got > 0) {
            wake_();
        }
        read += got;
        if (got < kReadBatch || full) {
            return;
        }
    }
}

} // namespace wibblet
