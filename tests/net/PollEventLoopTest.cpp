#include "net/PollEventLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace whois {
namespace {

using namespace std::chrono_literals;

// A pipe whose read end is watched; writing a byte makes it readable until the byte is read.
struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0); }
    ~Pipe()
    {
        for (const int fd : fds) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    int ReadEnd() const { return fds[0]; }
    void Fill() const { ASSERT_EQ(::write(fds[1], "x", 1), 1); }
    void CloseWriteEnd()
    {
        ::close(fds[1]);
        fds[1] = -1;
    }
};

class PollEventLoopTest : public testing::Test {
  protected:
    PollEventLoop loop;
    Pipe a;
    Pipe b;
};

TEST_F(PollEventLoopTest, ReadinessRepeatsUntilUnwatched)
{
    int calls = 0;
    const auto id = loop.WatchReadable(a.ReadEnd(), [&] { ++calls; });
    EXPECT_EQ(loop.RunOnce(0ms), 0u);
    a.Fill();
    EXPECT_EQ(loop.RunOnce(1000ms), 1u);
    EXPECT_EQ(loop.RunOnce(1000ms), 1u);
    loop.Unwatch(id);
    EXPECT_EQ(loop.RunOnce(0ms), 0u);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(loop.WatchCount(), 0u);
}

TEST_F(PollEventLoopTest, HangupCountsAsReadable)
{
    int calls = 0;
    loop.WatchReadable(a.ReadEnd(), [&] { ++calls; });
    a.CloseWriteEnd();
    EXPECT_TRUE(loop.RunUntil([&] { return calls == 1; }, 5s));
}

TEST_F(PollEventLoopTest, CallbackMayRemoveItsOwnWatch)
{
    // The captured text lives in the callback object; using it after the unwatch shows the
    // object is still alive while it runs.
    std::string seen;
    EventLoop::WatchId id = 0;
    id = loop.WatchReadable(a.ReadEnd(), [&, text = std::string(100, 'k')] {
        loop.Unwatch(id);
        seen = text;
    });
    a.Fill();
    EXPECT_EQ(loop.RunOnce(1000ms), 1u);
    EXPECT_EQ(seen, std::string(100, 'k'));
    EXPECT_EQ(loop.RunOnce(0ms), 0u);
}

TEST_F(PollEventLoopTest, RemovedWatchIsNotServedInTheSameRound)
{
    std::vector<char> order;
    EventLoop::WatchId second = 0;
    loop.WatchReadable(a.ReadEnd(), [&] {
        order.push_back('a');
        loop.Unwatch(second);
    });
    second = loop.WatchReadable(b.ReadEnd(), [&] { order.push_back('b'); });
    a.Fill();
    b.Fill();
    EXPECT_TRUE(loop.RunUntil([&] { return !order.empty(); }, 5s));
    loop.RunOnce(0ms);
    EXPECT_EQ(order, std::vector<char>({'a', 'a'}));
}

TEST_F(PollEventLoopTest, ReplacementWatchOnTheSameFdWaitsForTheNextRound)
{
    std::vector<char> order;
    EventLoop::WatchId first = 0;
    first = loop.WatchReadable(a.ReadEnd(), [&] {
        order.push_back('1');
        loop.Unwatch(first);
        loop.WatchReadable(a.ReadEnd(), [&] { order.push_back('2'); });
    });
    a.Fill();
    EXPECT_EQ(loop.RunOnce(1000ms), 1u);
    EXPECT_EQ(order, std::vector<char>({'1'}));
    EXPECT_EQ(loop.RunOnce(1000ms), 1u);
    EXPECT_EQ(order, std::vector<char>({'1', '2'}));
}

TEST_F(PollEventLoopTest, TimersFireOnceInDeadlineOrder)
{
    std::vector<char> order;
    const auto start = PollEventLoop::Clock::now();
    loop.StartTimer(60ms, [&] { order.push_back('l'); });
    loop.StartTimer(20ms, [&] { order.push_back('e'); });
    EXPECT_TRUE(loop.RunUntil([&] { return order.size() == 2; }, 5s));
    EXPECT_GE(PollEventLoop::Clock::now() - start, 60ms);
    EXPECT_EQ(order, std::vector<char>({'e', 'l'}));
    EXPECT_EQ(loop.TimerCount(), 0u);
}

TEST_F(PollEventLoopTest, CancelledTimersNeverFire)
{
    int fired = 0;
    EventLoop::TimerId victim = 0;
    EventLoop::TimerId self = 0;
    // Both fall due in the same round; the first cancels the second, and itself to no effect.
    self = loop.StartTimer(0ms, [&] {
        ++fired;
        loop.CancelTimer(victim);
        loop.CancelTimer(self);
    });
    victim = loop.StartTimer(0ms, [&] { fired += 100; });
    const auto never = loop.StartTimer(10ms, [&] { fired += 1000; });
    loop.CancelTimer(never);
    loop.RunUntil([&] { return loop.TimerCount() == 0; }, 5s);
    loop.RunOnce(20ms);
    EXPECT_EQ(fired, 1);
}

TEST_F(PollEventLoopTest, RunUntilStopsAtItsDeadline)
{
    const auto start = PollEventLoop::Clock::now();
    EXPECT_FALSE(loop.RunUntil([] { return false; }, 50ms));
    EXPECT_GE(PollEventLoop::Clock::now() - start, 50ms);

    bool done = false;
    loop.StartTimer(10ms, [&] { done = true; });
    EXPECT_TRUE(loop.RunUntil([&] { return done; }, 5s));
}

// A connected stream socket pair: each end is writable until its send buffer fills, and
// readable once the other end wrote.
struct SocketPair {
    int fds[2] = {-1, -1};
    SocketPair()
    {
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
    }
    ~SocketPair()
    {
        ::close(fds[0]);
        ::close(fds[1]);
    }
};

TEST_F(PollEventLoopTest, WatchesReportWhatTheyAskForAndWhatWasFound)
{
    SocketPair pair;
    std::vector<unsigned> both;
    std::vector<unsigned> readOnly;
    std::vector<unsigned> writeOnly;
    const auto bothId = loop.Watch(pair.fds[0], EventLoop::kReadable | EventLoop::kWritable,
                                   [&](unsigned seen) { both.push_back(seen); });
    const auto readId = loop.Watch(pair.fds[0], EventLoop::kReadable,
                                   [&](unsigned seen) { readOnly.push_back(seen); });
    const auto writeId = loop.Watch(pair.fds[0], EventLoop::kWritable,
                                    [&](unsigned seen) { writeOnly.push_back(seen); });

    EXPECT_EQ(loop.RunOnce(1000ms), 2u);
    EXPECT_EQ(both, std::vector<unsigned>({EventLoop::kWritable}));
    EXPECT_TRUE(readOnly.empty());
    EXPECT_EQ(writeOnly, std::vector<unsigned>({EventLoop::kWritable}));

    ASSERT_EQ(::write(pair.fds[1], "x", 1), 1);
    EXPECT_EQ(loop.RunOnce(1000ms), 3u);
    EXPECT_EQ(both.back(), EventLoop::kReadable | EventLoop::kWritable);
    EXPECT_EQ(readOnly, std::vector<unsigned>({EventLoop::kReadable}));
    EXPECT_EQ(writeOnly.back(), EventLoop::kWritable);

    for (const auto id : {bothId, readId, writeId}) {
        loop.Unwatch(id);
    }
}

TEST_F(PollEventLoopTest, FullSendBufferIsNotWritableUntilThePeerReads)
{
    SocketPair pair;
    const std::string block(4096, 'f');
    while (::write(pair.fds[0], block.data(), block.size()) > 0) {
    }
    int calls = 0;
    loop.Watch(pair.fds[0], EventLoop::kWritable, [&](unsigned) { ++calls; });
    EXPECT_EQ(loop.RunOnce(50ms), 0u);

    char sink[4096];
    while (::read(pair.fds[1], sink, sizeof sink) > 0) {
    }
    EXPECT_TRUE(loop.RunUntil([&] { return calls > 0; }, 5s));
}

TEST_F(PollEventLoopTest, HangupCountsAsWritableForAWritableWatch)
{
    SocketPair pair;
    const std::string block(4096, 'f');
    while (::write(pair.fds[0], block.data(), block.size()) > 0) {
    }
    unsigned seen = 0;
    loop.Watch(pair.fds[0], EventLoop::kWritable, [&](unsigned found) { seen = found; });
    ::shutdown(pair.fds[1], SHUT_RDWR);
    EXPECT_TRUE(loop.RunUntil([&] { return seen != 0; }, 5s));
    EXPECT_EQ(seen, EventLoop::kWritable);
}

} // namespace
} // namespace whois
