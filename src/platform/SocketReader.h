#pragma once

#include "platform/ReceiveQueue.h"

#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace wibblet {

/// A thread of its own that empties a socket into a ReceiveQueue as soon as
/// datagrams arrive. The handling thread may be busy, or waiting for a CPU,
/// for longer than the kernel's room lasts in a storm; this thread sleeps
/// until the kernel wakes it, so the scheduler runs it at once, and reading
/// costs a microsecond a datagram. Nothing is handled here: wake is called
/// (on this thread) when the queue was empty and is not any more.
class SocketReader {
public:
    SocketReader(int fd, ReceiveQueue& queue, std::mutex& lock, std::function<void()> wake);
    /// Stops the thread and waits for it.
    ~SocketReader();
    SocketReader(const SocketReader&) = delete;
    SocketReader& operator=(const SocketReader&) = delete;

private:
    void Run();
    /// Reads what the kernel holds, a bounded number at a time.
    void Drain();

    int fd_;
    int stopFd_;
    ReceiveQueue& queue_;
    std::mutex& lock_;
    std::function<void()> wake_;
    std::unique_ptr<char[]> buffer_;
    std::thread thread_;
};

} // namespace wibblet
