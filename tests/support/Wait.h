#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace wibblet::test {

/// Runs the event loop until done() holds or the timeout passes; returns done().
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

/// Runs the event loop for a while, for checks that something does NOT happen.
inline void RunEventsFor(int ms)
{
    WaitUntil([] { return false; }, ms);
}

} // namespace wibblet::test
