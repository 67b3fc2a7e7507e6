#pragma once

#include "platform/UdpSocket.h"

#include <QByteArray>

#include <deque>

namespace wibblet {

/// Datagrams the kernel had no room for, waiting for the socket to become
/// writable: normal ones first, then answers to entries, each kind in the
/// order sent. Bounded; a normal datagram pushes out the oldest answer
/// rather than be refused.
class SendQueue {
public:
    static constexpr qsizetype kMaxCount = 4096;
    static constexpr qsizetype kMaxBytes = 4 * 1024 * 1024;

    struct Pending {
        quint32 address = 0; ///< IPv4, network byte order
        quint16 port = 0;
        QByteArray bytes;
    };

    explicit SendQueue(qsizetype maxCount = kMaxCount, qsizetype maxBytes = kMaxBytes)
        : maxCount_(maxCount),
          maxBytes_(maxBytes)
    {
    }

    /// Whether a datagram of this priority must queue behind others, to keep
    /// the order: a normal one waits only for normal ones.
    bool MustWait(SendPriority priority) const;
    /// Queues it; false when there is no room (an answer is then dropped
    /// and counted).
    bool Push(Pending pending, SendPriority priority);
    bool IsEmpty() const { return normal_.empty() && answers_.empty(); }
    /// The datagram to send next; the queue must not be empty.
    const Pending& Front() const { return normal_.empty() ? answers_.front() : normal_.front(); }
    void PopFront();
    void Clear();
    /// Answers dropped for want of room.
    qint64 Dropped() const { return dropped_; }

    qsizetype Count() const { return qsizetype(normal_.size() + answers_.size()); }

private:
    qsizetype maxCount_;
    qsizetype maxBytes_;
    std::deque<Pending> normal_;
    std::deque<Pending> answers_;
    qsizetype bytes_ = 0;
    qint64 dropped_ = 0;
};

} // namespace wibblet
