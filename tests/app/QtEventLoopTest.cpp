// The core's event loop interface over Qt's: timers and socket watches as the window's
// lookups use them, on the real Qt event loop.
#include "QtEventLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

namespace whois::app {
namespace {

using namespace std::chrono_literals;

class QtEventLoopTest : public testing::Test {
  protected:
    // Runs Qt's loop until `done` or 5 s; false if it timed out.
    static bool RunUntil(const std::function<bool()>& done)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > 5000) {
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        }
        return true;
    }

    static void RunFor(std::chrono::milliseconds time)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < time.count()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        }
    }

    QtEventLoop loop;
};

TEST_F(QtEventLoopTest, TimersFireOnceInDeadlineOrder)
{
    std::vector<char> order;
    QElapsedTimer clock;
    clock.start();
    loop.StartTimer(60ms, [&] { order.push_back('l'); });
    loop.StartTimer(20ms, [&] { order.push_back('e'); });
    loop.StartTimer(0ms, [&] { order.push_back('z'); });
    EXPECT_TRUE(order.empty()) << "a timer fired before control went back to the loop";
    ASSERT_TRUE(RunUntil([&] { return order.size() == 3; }));
    EXPECT_GE(clock.elapsed(), 55); // coarse timers may run a little early
    RunFor(100ms);
    EXPECT_EQ(order, std::vector<char>({'z', 'e', 'l'}));
}

TEST_F(QtEventLoopTest, CancelledTimersNeverFire)
{
    int fired = 0;
    EventLoop::TimerId victim = 0;
    EventLoop::TimerId self = 0;
    // The first cancels the second, due a moment later, and itself to no effect.
    self = loop.StartTimer(0ms, [&] {
        ++fired;
        loop.CancelTimer(victim);
        loop.CancelTimer(self);
    });
    victim = loop.StartTimer(5ms, [&] { fired += 100; });
    const auto never = loop.StartTimer(10ms, [&] { fired += 1000; });
    loop.CancelTimer(never);
    RunFor(100ms);
    EXPECT_EQ(fired, 1);
}

TEST_F(QtEventLoopTest, TimerMayStartAnotherFromItsCallback)
{
    std::vector<int> fired;
    loop.StartTimer(0ms, [&] {
        fired.push_back(1);
        loop.StartTimer(10ms, [&] { fired.push_back(2); });
    });
    ASSERT_TRUE(RunUntil([&] { return fired.size() == 2; }));
    RunFor(50ms);
    EXPECT_EQ(fired, std::vector<int>({1, 2}));
}

TEST_F(QtEventLoopTest, WatchesReportReadinessUntilUnwatched)
{
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
    std::vector<unsigned> seen;
    EventLoop::WatchId watch = 0;
    watch = loop.Watch(pair[0], EventLoop::kReadable | EventLoop::kWritable, [&](unsigned what) {
        seen.push_back(what);
        if (seen.size() == 2) {
            loop.Unwatch(watch); // from inside its own callback
        }
    });
    ASSERT_TRUE(RunUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen.front(), EventLoop::kWritable) << "nothing was sent yet";
    ASSERT_EQ(::write(pair[1], "x", 1), 1);
    ASSERT_TRUE(RunUntil([&] { return seen.size() == 2; }));
    RunFor(50ms);
    EXPECT_EQ(seen.size(), 2u);
    ::close(pair[0]);
    ::close(pair[1]);
}

} // namespace
} // namespace whois::app

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
