#pragma once

#include <QSet>
#include <QString>

namespace wibblet {

/// Source addresses that have sent us something besides entries (an
/// answer, a message, a receipt, a presence change): a host that talks, not
/// merely an address an entry claims to come from. Entries from any other
/// address are answered at SendPriority::AnswerToStranger, which the socket
/// rate-limits. Bounded: when full it starts afresh, and a host that talks
/// is verified again by its next datagram.
class VerifiedSources {
public:
    static constexpr qsizetype kMaxCount = 65536;

    void Add(const QString& address)
    {
        if (addresses_.size() >= kMaxCount && !addresses_.contains(address))
            addresses_.clear();
        addresses_.insert(address);
    }
    bool Contains(const QString& address) const { return addresses_.contains(address); }

private:
    QSet<QString> addresses_;
};

} // namespace wibblet
