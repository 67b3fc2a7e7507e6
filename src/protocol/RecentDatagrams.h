#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

#include <deque>

namespace wibblet {

/// Message datagrams received lately, so that a retransmission is known as
/// one: IP Messenger sends a message again, packet number and all, until it
/// has a receipt. A datagram repeats another when its bytes, source address
/// and source port are the same and the other arrived less than kWindowMs
/// before; the packet number alone decides nothing, since a peer restarted
/// counts from 1 again. Kept are SHA-256 digests, not the bytes: at most
/// kMaxEntries, the oldest going first, and none older than the window.
class RecentDatagrams {
public:
    static constexpr qsizetype kMaxEntries = 4096;
    static constexpr qint64 kWindowMs = 2 * 60 * 1000;

    explicit RecentDatagrams(qsizetype maxEntries = kMaxEntries) : maxEntries_(maxEntries) {}

    /// Notes a datagram received at now; true when it repeats one noted
    /// before. Every copy starts the window afresh.
    bool Repeats(const QByteArray& bytes, const QString& address, quint16 port,
                 const QDateTime& now);
    /// Entries held, superseded ones included.
    qsizetype Count() const { return qsizetype(order_.size()); }

private:
    struct Entry {
        QByteArray digest;
        qint64 at = 0; ///< milliseconds since the epoch
    };
    /// Drops the oldest entries while they are out of the window or too many.
    void Trim(qint64 now);

    qsizetype maxEntries_;
    std::deque<Entry> order_;        ///< oldest first
    QHash<QByteArray, qint64> last_; ///< digest → when its last copy arrived
};

} // namespace wibblet
