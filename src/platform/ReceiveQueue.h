#pragma once

#include <QByteArray>

#include <deque>

namespace wibblet {

/// Datagrams read from the socket and not yet handled, oldest first. Reading
/// is cheap and handling is not: under a flood the kernel is emptied into
/// this queue and the program handles it a slice at a time. Bounded in count
/// and bytes; what does not fit is dropped and counted.
class ReceiveQueue {
public:
    static constexpr qsizetype kMaxCount = 100000;
    static constexpr qsizetype kMaxBytes = 64 * 1024 * 1024;

    struct Arrival {
        QByteArray bytes;
        quint32 from = 0;     ///< source IPv4 address, network byte order
        quint16 fromPort = 0; ///< source port
    };

    explicit ReceiveQueue(qsizetype maxCount = kMaxCount, qsizetype maxBytes = kMaxBytes)
        : maxCount_(maxCount),
          maxBytes_(maxBytes)
    {
    }

    /// Copies the datagram in; false, and counted, when it does not fit.
    bool Push(const char* data, qsizetype size, quint32 from, quint16 fromPort = 0);
    /// Takes the oldest; the queue must not be empty.
    Arrival Pop();
    bool IsEmpty() const { return arrivals_.empty(); }
    qsizetype Count() const { return qsizetype(arrivals_.size()); }
    /// No room for even the smallest datagram.
    bool IsFull() const { return Count() >= maxCount_ || bytes_ >= maxBytes_; }
    void Clear();
    /// Datagrams dropped because the queue was full.
    qint64 Dropped() const { return dropped_; }

private:
    qsizetype maxCount_;
    qsizetype maxBytes_;
    std::deque<Arrival> arrivals_;
    qsizetype bytes_ = 0;
    qint64 dropped_ = 0;
};

} // namespace wibblet
