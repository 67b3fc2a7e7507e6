#pragma once

#include <QtGlobal>

#include <chrono>

namespace wibblet {

/// Answers to entries from unverified sources (SendPriority::AnswerToStranger):
/// after a first burst of kBurst (the hosts of a LAN starting together), at
/// most kPerSecond entries are answered a second. A forged source costs the
/// kernel's send buffer room for as long as its address is being resolved;
/// this keeps that room small. All answers to one arrival share its
/// decision, so an entry is answered in both code sets or in neither.
class AnswerRateLimit {
public:
    static constexpr double kPerSecond = 20;
    static constexpr double kBurst = 100;

    /// Whether a datagram sent while arrival number `arrival` is handled may go.
    bool Allow(quint64 arrival);
    /// Datagrams held back so far.
    qint64 HeldBack() const { return heldBack_; }

private:
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
    double tokens_ = kBurst;
    quint64 decidedFor_ = ~quint64(0);
    bool allowed_ = false;
    qint64 heldBack_ = 0;
};

} // namespace wibblet
