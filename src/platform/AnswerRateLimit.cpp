#include "platform/AnswerRateLimit.h"

#include <algorithm>

namespace wibblet {

bool AnswerRateLimit::Allow(quint64 arrival)
{
    if (arrival != decidedFor_) {
        decidedFor_ = arrival;
        const auto now = std::chrono::steady_clock::now();
        const std::chrono::duration<double> elapsed = now - last_;
        last_ = now;
        tokens_ = std::min(kBurst, tokens_ + elapsed.count() * kPerSecond);
        allowed_ = tokens_ >= 1;
        if (allowed_)
            tokens_ -= 1;
    }
    if (!allowed_)
        ++heldBack_;
    return allowed_;
}

} // namespace wibblet
