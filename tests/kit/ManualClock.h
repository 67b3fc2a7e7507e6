#pragma once

#include "platform/Clock.h"

namespace wibblet {

/// A clock that tests set and advance by hand.
class ManualClock : public Clock {
public:
    explicit ManualClock(QDateTime now) : now_(std::move(now)) {}
    QDateTime Now() const override { return now_; }
    void Set(const QDateTime& now) { now_ = now; }
    void AdvanceSeconds(qint64 seconds) { now_ = now_.addSecs(seconds); }

private:
    QDateTime now_;
};

} // namespace wibblet
