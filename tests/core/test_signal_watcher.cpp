#include "platform/SignalWatcher.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <csignal>

using wibblet::SignalWatcher;
using wibblet::test::RunEventsFor;
using wibblet::test::WaitUntil;

namespace {

volatile sig_atomic_t earlierHandlerRan = 0;

extern "C" void EarlierHandler(int)
{
    earlierHandlerRan = 1;
}

struct Watched {
    explicit Watched(const QList<int>& numbers) : watcher(numbers)
    {
        QObject::connect(&watcher, &SignalWatcher::Received,
                         [this](int number) { received.append(number); });
    }
    SignalWatcher watcher;
    QList<int> received;
};

} // namespace

// Each of the endings the program listens for comes out on the event loop
// instead of ending the process (the default for all three).
TEST(SignalWatcher, TurnsEachWatchedSignalIntoOneEmission)
{
    Watched w({SIGTERM, SIGINT, SIGHUP});
    ASSERT_TRUE(w.watcher.Ok());
    for (const int number : {SIGHUP, SIGTERM, SIGINT, SIGTERM}) {
        ASSERT_EQ(::raise(number), 0);
    }
    EXPECT_TRUE(WaitUntil([&] { return w.received.size() == 4; }));
    RunEventsFor(50);
    EXPECT_EQ(w.received, (QList<int>{SIGHUP, SIGTERM, SIGINT, SIGTERM}));
}

// After the watcher, a signal goes where it went before it.
TEST(SignalWatcher, GivesTheEarlierHandlerBackWhenDestroyed)
{
    struct sigaction earlier = {};
    earlier.sa_handler = EarlierHandler;
    sigemptyset(&earlier.sa_mask);
    struct sigaction original = {};
    ASSERT_EQ(::sigaction(SIGUSR1, &earlier, &original), 0);
    {
        Watched w({SIGUSR1});
        ::raise(SIGUSR1);
        EXPECT_TRUE(WaitUntil([&] { return w.received.size() == 1; }));
        EXPECT_EQ(earlierHandlerRan, 0);
    }
    ::raise(SIGUSR1);
    EXPECT_EQ(earlierHandlerRan, 1);
    ::sigaction(SIGUSR1, &original, nullptr);
}

// The handler has one place to write to: a second watcher would take the
// first one's signals away, so it refuses.
TEST(SignalWatcher, OnlyOneWatcherAtATime)
{
    Watched first({SIGUSR1});
    {
        Watched second({SIGUSR1});
        EXPECT_FALSE(second.watcher.Ok());
    }
    ::raise(SIGUSR1);
    EXPECT_TRUE(WaitUntil([&] { return first.received.size() == 1; }));
}
