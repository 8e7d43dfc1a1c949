#include "net/SystemResolver.h"

#include "RecordingClient.h"
#include "net/PollEventLoop.h"
#include "net/TcpClient.h"
#include "support/CaseName.h"
#include "support/LoopbackWhoisServer.h"
#include "support/OpenDescriptors.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace whois {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// Only names the machine knows without asking a name server.
struct SystemCase : test::NamedCase {
    std::string host;
    std::string expected; // an address among the results, or empty for none
    ConnectFailure failure;
};

class SystemResolverTest : public testing::TestWithParam<SystemCase> {};

TEST_P(SystemResolverTest, AnswersOnTheLoop)
{
    const SystemCase& c = GetParam();
    PollEventLoop loop;
    SystemResolver resolver(loop);
    std::optional<ResolveResult> result;
    resolver.Resolve(c.host, [&](ResolveResult r) { result = std::move(r); });
    // Literals need no lookup and are answered at once; names come back through the loop.
    const bool literal = c.host == "127.0.0.7" || c.host == "::1";
    EXPECT_EQ(result.has_value(), literal);
    ASSERT_TRUE(loop.RunUntil([&] { return result.has_value(); }, 10s));

    Strings found;
    std::transform(result->addresses.begin(), result->addresses.end(), std::back_inserter(found),
                   NumericAddress);
    if (c.expected.empty()) {
        EXPECT_TRUE(found.empty());
        EXPECT_EQ(result->failure, c.failure);
    } else {
        EXPECT_NE(std::find(found.begin(), found.end(), c.expected), found.end())
            << testing::PrintToString(found);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, SystemResolverTest,
                         testing::Values(SystemCase{"Localhost", "localhost", "127.0.0.1", {}},
                                         SystemCase{"DottedAddress", "127.0.0.7", "127.0.0.7", {}},
                                         SystemCase{"Ipv6Address", "::1", "::1", {}},
                                         SystemCase{"Empty", "", "", ConnectFailure::NameNotFound},
                                         SystemCase{"ZeroByte", std::string("localhost\0x", 11), "",
                                                    ConnectFailure::NameNotFound}),
                         test::CaseName());

TEST(SystemResolverMemoryTest, NameResolvedLatelyIsAnsweredAtOnceWithoutAnotherLookup)
{
    PollEventLoop loop;
    auto lookUps = std::make_shared<std::atomic<int>>(0);
    auto failures = std::make_shared<std::atomic<int>>(0);
    SystemResolver resolver(loop, [lookUps, failures](const std::string& host) {
        if (host == "missing.test") {
            ++*failures;
            return ResolveResult{{}, ConnectFailure::NameNotFound};
        }
        ++*lookUps;
        return SystemResolver::LookUp("localhost");
    });

    std::optional<ResolveResult> first;
    resolver.Resolve("whois.example.test", [&](ResolveResult r) { first = std::move(r); });
    ASSERT_TRUE(loop.RunUntil([&] { return first.has_value(); }, 10s));
    ASSERT_FALSE(first->addresses.empty());

    std::optional<ResolveResult> second;
    resolver.Resolve("whois.example.test", [&](ResolveResult r) { second = std::move(r); });
    ASSERT_TRUE(second.has_value()) << "answered before Resolve returned";
    EXPECT_EQ(second->addresses.size(), first->addresses.size());
    EXPECT_EQ(lookUps->load(), 1);

    // A name that was not found is looked up again: it may exist by now.
    for (int i = 0; i < 2; ++i) {
        std::optional<ResolveResult> missing;
        resolver.Resolve("missing.test", [&](ResolveResult r) { missing = std::move(r); });
        ASSERT_TRUE(loop.RunUntil([&] { return missing.has_value(); }, 10s));
    }
    EXPECT_EQ(failures->load(), 2);
}

// A lookup function that blocks its worker thread until the test opens the gate (or 5 s
// pass), answering every name with 127.0.0.1. It notes the threads it ran on.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int started = 0;
    int finished = 0;
    std::vector<std::thread::id> threads;

    void Open()
    {
        {
            const std::lock_guard lock(mutex);
            open = true;
        }
        changed.notify_all();
    }

    bool WaitForFinished(int count)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 5s, [&] { return finished >= count; });
    }

    bool WaitForStarted(int count)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 5s, [&] { return started >= count; });
    }
};

SystemResolver::LookUpFunction SlowLookUp(const std::shared_ptr<Gate>& gate)
{
    return [gate](const std::string&) {
        std::unique_lock lock(gate->mutex);
        gate->threads.push_back(std::this_thread::get_id());
        ++gate->started;
        gate->changed.notify_all();
        gate->changed.wait_for(lock, 5s, [&] { return gate->open; });
        ++gate->finished;
        gate->changed.notify_all();
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ResolveResult result;
        result.addresses.resize(1);
        std::memcpy(&result.addresses[0].address, &peer, sizeof peer);
        result.addresses[0].length = sizeof peer;
        return result;
    };
}

class SystemResolverWorkerTest : public testing::Test {
  protected:
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    PollEventLoop loop;
};

TEST_F(SystemResolverWorkerTest, LooksUpOnAWorkerAndAnswersOnTheLoopThread)
{
    SystemResolver resolver(loop, SlowLookUp(gate));
    std::optional<std::thread::id> answeredOn;
    Strings addresses;
    resolver.Resolve("slow.example.test", [&](ResolveResult result) {
        answeredOn = std::this_thread::get_id();
        addresses.push_back(NumericAddress(result.addresses.at(0)));
    });
    ASSERT_TRUE(gate->WaitForStarted(1));
    loop.RunFor(50ms);
    EXPECT_FALSE(answeredOn.has_value());
    gate->Open();
    ASSERT_TRUE(loop.RunUntil([&] { return answeredOn.has_value(); }, 10s));

    EXPECT_EQ(*answeredOn, std::this_thread::get_id());
    EXPECT_NE(gate->threads.at(0), std::this_thread::get_id());
    EXPECT_EQ(addresses, Strings({"127.0.0.1"}));
}

TEST_F(SystemResolverWorkerTest, CancelledRequestsNeverCallBack)
{
    SystemResolver resolver(loop, SlowLookUp(gate));
    Strings answered;
    const auto first =
        resolver.Resolve("first.example.test", [&](ResolveResult) { answered.push_back("first"); });
    resolver.Resolve("second.example.test", [&](ResolveResult) { answered.push_back("second"); });
    const auto third =
        resolver.Resolve("third.example.test", [&](ResolveResult) { answered.push_back("third"); });
    ASSERT_TRUE(gate->WaitForStarted(3));
    // One cancelled while its worker is still blocked, one once its worker has answered but
    // before the loop delivered the answer.
    resolver.Cancel(first);
    gate->Open();
    ASSERT_TRUE(gate->WaitForFinished(3));
    resolver.Cancel(third);
    loop.RunFor(200ms);

    EXPECT_EQ(answered, Strings({"second"}));
}

// A worker that has answered takes the next name; names asked for together each get a
// worker of their own, the one started ahead included, so none waits behind another.
TEST_F(SystemResolverWorkerTest, WorkersAreReusedButNeverShared)
{
    SystemResolver resolver(loop, SlowLookUp(gate));
    resolver.PrepareWorker();
    int answered = 0;
    for (const char* name : {"one.example.test", "two.example.test"}) {
        resolver.Resolve(name, [&](ResolveResult) { ++answered; });
    }
    ASSERT_TRUE(gate->WaitForStarted(2)) << "a name waited for a worker that was busy";
    gate->Open();
    ASSERT_TRUE(loop.RunUntil([&] { return answered == 2; }, 10s));

    resolver.Resolve("three.example.test", [&](ResolveResult) { ++answered; });
    ASSERT_TRUE(loop.RunUntil([&] { return answered == 3; }, 10s));
    const std::vector<std::thread::id> threads = gate->threads;
    EXPECT_NE(threads.at(0), threads.at(1));
    EXPECT_TRUE(threads.at(2) == threads.at(0) || threads.at(2) == threads.at(1));
}

// A name asked for ahead is looked up once: a request made while that lookup runs waits for
// it, and one made after it is answered at once. Literals need no lookup ahead.
TEST_F(SystemResolverWorkerTest, NameAskedForAheadIsLookedUpOnce)
{
    SystemResolver resolver(loop, SlowLookUp(gate));
    resolver.Prefetch("127.0.0.1");
    resolver.Prefetch("ahead.example.test");
    resolver.Prefetch("ahead.example.test");
    ASSERT_TRUE(gate->WaitForStarted(1));
    std::optional<ResolveResult> waited;
    resolver.Resolve("ahead.example.test", [&](ResolveResult r) { waited = std::move(r); });
    loop.RunFor(50ms);
    EXPECT_FALSE(waited.has_value());
    gate->Open();
    ASSERT_TRUE(loop.RunUntil([&] { return waited.has_value(); }, 10s));
    EXPECT_EQ(NumericAddress(waited->addresses.at(0)), "127.0.0.1");

    bool atOnce = false;
    resolver.Resolve("ahead.example.test", [&](ResolveResult) { atOnce = true; });
    EXPECT_TRUE(atOnce);
    loop.RunFor(50ms);
    EXPECT_EQ(gate->started, 1);
}

TEST_F(SystemResolverWorkerTest, WorkerOutlivingTheResolverTouchesNothingOfIt)
{
    bool answered = false;
    std::weak_ptr<Gate> watcher = gate;
    const std::size_t descriptors = test::OpenDescriptorCount();
    {
        SystemResolver resolver(loop, SlowLookUp(gate));
        resolver.Resolve("slow.example.test", [&](ResolveResult) { answered = true; });
        ASSERT_TRUE(gate->WaitForStarted(1));
    }
    EXPECT_EQ(loop.WatchCount(), 0u);
    EXPECT_EQ(test::OpenDescriptorCount(), descriptors);
    gate->Open();
    gate.reset();
    // The worker's copy of the function, and with it the gate, goes when the thread ends.
    ASSERT_TRUE(loop.RunUntil([&] { return watcher.expired(); }, 10s));
    EXPECT_FALSE(answered);
}

// The program's case: a client whose name takes long to resolve connects once it has, and
// the loop dispatches all the while.
TEST_F(SystemResolverWorkerTest, LoopKeepsDispatchingWhileANameResolves)
{
    test::LoopbackWhoisServer server({test::Silent()});
    SystemResolver resolver(loop, SlowLookUp(gate));
    TcpClient client(loop, resolver, 10s);
    bool connected = false;
    client.Connected = [&] { connected = true; };

    const auto start = std::chrono::steady_clock::now();
    client.Connect("slow.example.test", server.Port());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 50ms);
    test::Ticker ticker(loop, 10ms);
    loop.RunFor(500ms);
    EXPECT_GE(ticker.Count(), 15);
    EXPECT_LT(ticker.LongestGap(), 200ms);
    EXPECT_TRUE(client.IsConnecting());

    gate->Open();
    ASSERT_TRUE(loop.RunUntil([&] { return connected; }, 10s));
    EXPECT_EQ(client.PeerAddress(), "127.0.0.1");
}

TEST_F(SystemResolverWorkerTest, DisconnectDuringTheLookupRaisesNothing)
{
    SystemResolver resolver(loop, SlowLookUp(gate));
    TcpClient client(loop, resolver, 10s);
    int events = 0;
    client.Connected = [&] { ++events; };
    client.ConnectFailed = [&](ConnectFailure) { ++events; };
    const std::size_t descriptors = test::OpenDescriptorCount();

    client.Connect("slow.example.test", 43);
    ASSERT_TRUE(gate->WaitForStarted(1));
    client.Disconnect();
    gate->Open();
    loop.RunFor(300ms);

    EXPECT_EQ(events, 0);
    EXPECT_EQ(test::OpenDescriptorCount(), descriptors);
    EXPECT_EQ(loop.TimerCount(), 0u);
}

} // namespace
} // namespace whois
