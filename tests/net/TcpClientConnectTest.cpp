#include "net/TcpClient.h"

#include "RecordingClient.h"
#include "support/CaseName.h"
#include "support/FullBacklogListener.h"
#include "support/LoopbackWhoisServer.h"
#include "support/OpenDescriptors.h"
#include "support/RefusingPort.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <optional>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace whois {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::ConnectionRecord;
using test::LoopbackWhoisServer;
using Strings = std::vector<std::string>;

constexpr char kName[] = "whois.example.test";

using test::RefusingPort;

bool ClientClosed(const ConnectionRecord& record)
{
    return record.clientClosed;
}

bool Accepted(const ConnectionRecord&)
{
    return true;
}

// Host forms and address lists that reach the server, wherever among the addresses it is.
struct ReachCase : test::NamedCase {
    std::string host;
    const char* serverAddress;
    Strings addresses; // what the name resolves to
    Strings lookups;
};

class TcpClientReachTest : public testing::TestWithParam<ReachCase> {};

TEST_P(TcpClientReachTest, ConnectsFromTheLoopAndLooksUpOnlyNames)
{
    const ReachCase& c = GetParam();
    LoopbackWhoisServer server({test::Silent()}, 0, 30s, c.serverAddress);
    ASSERT_TRUE(server.Listening());
    test::RecordingClient peer;
    peer.resolver.Add(kName, c.addresses);

    peer.client.Connect(c.host, server.Port());
    EXPECT_TRUE(peer.outcomes.empty());
    EXPECT_TRUE(peer.client.IsConnecting());
    ASSERT_TRUE(peer.RunUntilOutcome());

    EXPECT_EQ(peer.outcomes, Strings({"connected"}));
    EXPECT_FALSE(peer.client.IsConnecting());
    EXPECT_TRUE(peer.client.IsConnected());
    EXPECT_EQ(peer.client.PeerAddress(), c.serverAddress);
    EXPECT_EQ(peer.resolver.Asked(), c.lookups);
    EXPECT_TRUE(server.WaitForConnection(0, Accepted));
    // Only the winning socket is left, watched for reading; no timer remains.
    EXPECT_EQ(peer.loop.WatchCount(), 1u);
    EXPECT_EQ(peer.loop.TimerCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, TcpClientReachTest,
    testing::Values(
        ReachCase{"DottedAddress", "127.0.0.1", "127.0.0.1", {}, {}},
        ReachCase{"ShortDottedAddress", "127.1", "127.0.0.1", {}, {}},
        ReachCase{"HexDottedAddress", "0x7f.0.0.1", "127.0.0.1", {}, {}},
        ReachCase{"Ipv6Literal", "::1", "::1", {}, {}},
        ReachCase{"HostName", kName, "127.0.0.1", {"127.0.0.1"}, {kName}},
        ReachCase{"Ipv6OnlyName", kName, "::1", {"::1"}, {kName}},
        ReachCase{
            "FirstRefusesSecondAnswers", kName, "127.0.0.1", {"127.0.0.2", "127.0.0.1"}, {kName}},
        ReachCase{
            "Ipv4RefusesIpv6Answers", kName, "::1", {"127.0.0.1", "127.0.0.2", "::1"}, {kName}}),
    test::CaseName());

// Connects that fail: the reason comes from the loop, never inside Connect, and nothing is
// left behind.
enum class Target { Server, Refusing };

struct FailureCase : test::NamedCase {
    std::string host;
    Target target;
    int portOffset; // added to the target's port
    Strings addresses;
    std::optional<ConnectFailure> lookupFailure;
    Strings lookups;
    std::string outcome;
};

class TcpClientConnectFailureTest : public testing::TestWithParam<FailureCase> {};

TEST_P(TcpClientConnectFailureTest, ReportsWhyFromTheLoop)
{
    const FailureCase& c = GetParam();
    LoopbackWhoisServer server({test::Silent()});
    RefusingPort refusing;
    test::RecordingClient peer;
    if (c.lookupFailure) {
        peer.resolver.Fail(kName, *c.lookupFailure);
    } else if (!c.addresses.empty()) {
        peer.resolver.Add(kName, c.addresses);
    }
    const int port = (c.target == Target::Server ? server.Port() : refusing.Port()) + c.portOffset;

    peer.client.Connect(c.host, port);
    EXPECT_TRUE(peer.outcomes.empty());
    ASSERT_TRUE(peer.RunUntilOutcome());

    EXPECT_EQ(peer.outcomes, Strings({c.outcome}));
    EXPECT_FALSE(peer.client.IsConnecting());
    EXPECT_FALSE(peer.client.IsConnected());
    EXPECT_FALSE(peer.client.SendData("abc"));
    EXPECT_EQ(peer.client.PeerAddress(), "");
    EXPECT_EQ(peer.resolver.Asked(), c.lookups);
    EXPECT_EQ(peer.loop.WatchCount(), 0u);
    EXPECT_EQ(peer.loop.TimerCount(), 0u);
    EXPECT_EQ(server.ConnectionCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, TcpClientConnectFailureTest,
    testing::Values(
        FailureCase{"EmptyHost", "", Target::Server, 0, {}, {}, {}, "failed:InvalidTarget"},
        FailureCase{"ZeroByteInHost",
                    std::string("127.0.0.1\0.x", 12),
                    Target::Server,
                    0,
                    {},
                    {},
                    {},
                    "failed:InvalidTarget"},
        // 65536 more would wrap around to the server's own port.
        FailureCase{"PortBeyondSixteenBits",
                    "127.0.0.1",
                    Target::Server,
                    65536,
                    {},
                    {},
                    {},
                    "failed:InvalidTarget"},
        FailureCase{"UnknownName",
                    "nowhere.example.test",
                    Target::Server,
                    0,
                    {},
                    {},
                    {"nowhere.example.test"},
                    "failed:NameNotFound"},
        // Not an address literal, so it goes to the resolver, which knows no such name.
        FailureCase{"TextAfterAddress",
                    "127.0.0.1 anything",
                    Target::Server,
                    0,
                    {},
                    {},
                    {"127.0.0.1 anything"},
                    "failed:NameNotFound"},
        FailureCase{"LookupFailed",
                    kName,
                    Target::Server,
                    0,
                    {},
                    ConnectFailure::ResolverFailed,
                    {kName},
                    "failed:ResolverFailed"},
        FailureCase{
            "AddressRefuses", "127.0.0.1", Target::Refusing, 0, {}, {}, {}, "failed:Refused"},
        FailureCase{"EveryAddressRefuses",
                    kName,
                    Target::Refusing,
                    0,
                    {"127.0.0.2", "::1", "127.0.0.3"},
                    {},
                    {kName},
                    "failed:Refused"}),
    test::CaseName());

// Ports below 1 are taken as port 1, which only root may listen on. One server serves all the
// ports, so parallel test processes never compete for port 1 among themselves.
TEST(TcpClientLowPortTest, PortsBelowOneConnectToPortOne)
{
    LoopbackWhoisServer server({test::Silent()}, 1);
    if (!server.Listening()) {
        GTEST_SKIP() << "cannot listen on port 1 here";
    }
    test::RecordingClient peer;
    std::size_t connections = 0;
    for (const int port : {0, -1, INT_MIN}) {
        SCOPED_TRACE(port);
        EXPECT_TRUE(peer.ConnectAndWait("127.0.0.1", port));
        ++connections;
        EXPECT_TRUE(server.WaitForConnection(connections - 1, Accepted));
    }
}

// A first address whose connect never completes does not hold up the second: it gets its
// turn after the attempt delay, while the first still runs, and wins.
TEST(TcpClientAttemptTest, HangingFirstAddressGivesWayToTheNextAfterTheAttemptDelay)
{
    test::FullBacklogListener hanging;
    if (!hanging.Full()) {
        GTEST_SKIP() << "could not fill the accept queue of a loopback listener";
    }
    LoopbackWhoisServer second({test::Silent()}, hanging.Port(), 30s, "127.0.0.2");
    ASSERT_TRUE(second.Listening());
    test::RecordingClient peer(5s);
    peer.resolver.Add(kName, Strings{"127.0.0.1", "127.0.0.2"});

    const auto start = Clock::now();
    EXPECT_TRUE(peer.ConnectAndWait(kName, hanging.Port()));
    const auto took = Clock::now() - start;

    EXPECT_EQ(peer.client.PeerAddress(), "127.0.0.2");
    EXPECT_GE(took, 200ms);
    EXPECT_LT(took, 2s);
    // The losing attempt is closed: only the connection is watched.
    EXPECT_EQ(peer.loop.WatchCount(), 1u);
    EXPECT_EQ(peer.loop.TimerCount(), 0u);
}

// The time-out bounds the lookup and the attempts together, and the loop goes on dispatching
// all the while.
struct TimeoutCase : test::NamedCase {
    std::chrono::milliseconds lookupDelay;
    std::chrono::milliseconds timeout;
};

class TcpClientTimeoutTest : public testing::TestWithParam<TimeoutCase> {};

TEST_P(TcpClientTimeoutTest, GivesUpAtTheBoundWhileTheLoopRuns)
{
    const TimeoutCase& c = GetParam();
    test::FullBacklogListener hanging;
    if (!hanging.Full()) {
        GTEST_SKIP() << "could not fill the accept queue of a loopback listener";
    }
    test::RecordingClient peer(c.timeout);
    peer.resolver.Add(kName, Strings{"127.0.0.1", "127.0.0.1"});
    peer.resolver.AnswerLater(peer.loop, c.lookupDelay);
    const std::size_t descriptors = test::OpenDescriptorCount();

    const auto start = Clock::now();
    peer.client.Connect(kName, hanging.Port());
    EXPECT_LT(Clock::now() - start, 50ms);
    test::Ticker ticker(peer.loop, 10ms);
    ASSERT_TRUE(peer.RunUntilOutcome());
    const auto took = Clock::now() - start;

    EXPECT_EQ(peer.outcomes, Strings({"failed:TimedOut"}));
    EXPECT_GE(took, c.timeout);
    EXPECT_LT(took, c.timeout + 400ms);
    EXPECT_GE(ticker.Count(), c.timeout / 10ms / 3);
    EXPECT_LT(ticker.LongestGap(), 200ms);
    EXPECT_EQ(peer.resolver.Pending(), 0u);
    EXPECT_EQ(peer.loop.WatchCount(), 0u);
    EXPECT_EQ(test::OpenDescriptorCount(), descriptors);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, TcpClientTimeoutTest,
    testing::Values(TimeoutCase{"ConnectHangs", 0ms, 400ms},
                    // Were the bound to start after the lookup, it would end at 1600 ms.
                    TimeoutCase{"LookupTakesPartOfTheBound", 600ms, 1000ms},
                    TimeoutCase{"LookupOutlastsTheBound", 5000ms, 300ms}),
    test::CaseName());

// Disconnect or destruction while the lookup or the attempts are under way raises nothing and
// leaves no descriptor, watch or timer behind.
enum class Phase { Lookup, OneAttempt, TwoAttempts };
enum class Ending { Disconnect, Destroy };

struct AbandonCase : test::NamedCase {
    Phase phase;
    Ending ending;
};

class TcpClientAbandonTest : public testing::TestWithParam<AbandonCase> {};

TEST_P(TcpClientAbandonTest, RaisesNothingAndLeavesNothing)
{
    const AbandonCase& c = GetParam();
    test::FullBacklogListener hanging;
    if (!hanging.Full()) {
        GTEST_SKIP() << "could not fill the accept queue of a loopback listener";
    }
    const std::size_t before = test::OpenDescriptorCount();
    PollEventLoop loop;
    test::MapResolver resolver;
    resolver.Add(kName, Strings{"127.0.0.1", "127.0.0.1"});
    if (c.phase == Phase::Lookup) {
        resolver.AnswerLater(loop, 300ms);
    }
    int events = 0;
    std::optional<TcpClient> client(std::in_place, loop, resolver, 5s);
    client->Connected = [&] { ++events; };
    client->ConnectFailed = [&](ConnectFailure) { ++events; };

    client->Connect(kName, hanging.Port());
    loop.RunFor(c.phase == Phase::TwoAttempts ? 400ms : 50ms);
    ASSERT_TRUE(client->IsConnecting());
    ASSERT_EQ(test::OpenDescriptorCount(), before + (c.phase == Phase::Lookup       ? 0
                                                     : c.phase == Phase::OneAttempt ? 1
                                                                                    : 2));
    if (c.ending == Ending::Disconnect) {
        client->Disconnect();
        EXPECT_FALSE(client->IsConnecting());
    } else {
        client.reset();
    }

    EXPECT_EQ(loop.WatchCount(), 0u);
    EXPECT_EQ(loop.TimerCount(), 0u);
    EXPECT_EQ(resolver.Pending(), 0u);
    EXPECT_EQ(test::OpenDescriptorCount(), before);
    loop.RunFor(400ms);
    EXPECT_EQ(events, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Phases, TcpClientAbandonTest,
    testing::Values(AbandonCase{"DisconnectDuringLookup", Phase::Lookup, Ending::Disconnect},
                    AbandonCase{"DisconnectDuringAttempt", Phase::OneAttempt, Ending::Disconnect},
                    AbandonCase{"DestroyDuringAttempt", Phase::OneAttempt, Ending::Destroy},
                    AbandonCase{"DisconnectDuringTwoAttempts", Phase::TwoAttempts,
                                Ending::Disconnect},
                    AbandonCase{"DestroyDuringLookup", Phase::Lookup, Ending::Destroy},
                    AbandonCase{"DestroyDuringTwoAttempts", Phase::TwoAttempts, Ending::Destroy}),
    test::CaseName());

TEST(TcpClientHandlerTest, FailureHandlerMayConnectAgain)
{
    LoopbackWhoisServer server({test::Silent()});
    RefusingPort refusing;
    test::RecordingClient peer;
    peer.client.ConnectFailed = [&](ConnectFailure failure) {
        peer.outcomes.push_back(std::string("failed:") + test::FailureName(failure));
        peer.client.Connect("127.0.0.1", server.Port());
    };
    peer.client.Connect("127.0.0.1", refusing.Port());
    ASSERT_TRUE(peer.loop.RunUntil([&] { return peer.outcomes.size() == 2; }, 10s));

    EXPECT_EQ(peer.outcomes, Strings({"failed:Refused", "connected"}));
    EXPECT_TRUE(server.WaitForConnection(0, Accepted));
}

TEST(TcpClientHandlerTest, ConnectedHandlerMayDestroyTheClient)
{
    LoopbackWhoisServer server({test::Silent()});
    PollEventLoop loop;
    test::MapResolver resolver;
    auto client = std::make_unique<TcpClient>(loop, resolver);
    client->Connected = [&] { client.reset(); };
    client->Connect("127.0.0.1", server.Port());
    ASSERT_TRUE(loop.RunUntil([&] { return client == nullptr; }, 10s));

    EXPECT_EQ(loop.WatchCount(), 0u);
    EXPECT_EQ(loop.TimerCount(), 0u);
    EXPECT_TRUE(server.WaitForConnection(0, ClientClosed));
}

// The bytes SendData hands over are exactly the bytes the server reads.
struct SendCase : test::NamedCase {
    std::string data;
};

class TcpClientSendTest : public testing::TestWithParam<SendCase> {};

TEST_P(TcpClientSendTest, ServerReceivesExactlyTheBytes)
{
    LoopbackWhoisServer server({test::Silent()});
    test::RecordingClient peer;
    ASSERT_TRUE(peer.ConnectAndWait("127.0.0.1", server.Port()));

    EXPECT_TRUE(peer.client.SendData(GetParam().data));
    peer.client.Disconnect();
    ASSERT_TRUE(server.WaitForConnection(0, ClientClosed));
    EXPECT_EQ(server.Received(0), GetParam().data);
}

INSTANTIATE_TEST_SUITE_P(Data, TcpClientSendTest,
                         testing::Values(SendCase{"ThreeLetters", "abc"}, SendCase{"Empty", ""},
                                         SendCase{"RequestLine", "shop.example.com\r\n"},
                                         SendCase{"ZeroBytesInside", std::string("a\0b\0", 4)},
                                         SendCase{"LargerThanOneSegment",
                                                  std::string(200'000, 'q')}),
                         test::CaseName());

TEST(TcpClientSendTest, NothingIsSentBeforeTheConnectionIsMade)
{
    test::FullBacklogListener hanging;
    if (!hanging.Full()) {
        GTEST_SKIP() << "could not fill the accept queue of a loopback listener";
    }
    test::RecordingClient peer;
    peer.client.Connect("127.0.0.1", hanging.Port());
    EXPECT_FALSE(peer.client.SendData("abc"));
}

TEST(TcpClientFullBufferTest, SendFailsWithoutWaitingAndKeepsTheConnection)
{
    // A listener that nobody accepts from: the kernel completes the connection, nothing reads.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);

    test::RecordingClient peer;
    ASSERT_TRUE(peer.ConnectAndWait("127.0.0.1", ntohs(address.sin_port)));
    EXPECT_FALSE(peer.client.SendData(std::string(64 << 20, 'z')));
    EXPECT_TRUE(peer.client.IsConnected());
    EXPECT_TRUE(peer.client.SendData(""));
    ::close(listener);
}

TEST(TcpClientReconnectTest, NewConnectionDropsTheOldOneSilently)
{
    LoopbackWhoisServer old(
        {test::ConnectionScript{false, {{"old answer"}}, test::Ending::KeepOpen}});
    LoopbackWhoisServer fresh({test::Answer("new answer")});
    test::RecordingClient peer;

    ASSERT_TRUE(peer.ConnectAndWait("127.0.0.1", old.Port()));
    // The old answer is waiting in the socket when the client moves on.
    ASSERT_TRUE(old.WaitForConnection(0, [](const ConnectionRecord& r) { return r.answerDone; }));
    ASSERT_TRUE(peer.ConnectAndWait("127.0.0.1", fresh.Port()));
    EXPECT_TRUE(peer.client.SendData("q\r\n"));

    ASSERT_TRUE(peer.RunUntilEvents(2));
    EXPECT_EQ(peer.events, Strings({"data:new answer", "closed"}));
    EXPECT_TRUE(old.WaitForConnection(0, ClientClosed));
    EXPECT_EQ(fresh.Received(0), "q\r\n");
}

TEST(TcpClientDescriptorTest, ManyConnectionsLeaveNoDescriptorBehind)
{
    const std::size_t before = test::OpenDescriptorCount();
    {
        LoopbackWhoisServer server({test::Answer("answer\r\n")});
        RefusingPort refusing;
        test::FullBacklogListener hanging;
        PollEventLoop loop;
        test::MapResolver resolver;
        resolver.Add(kName, Strings{"::1", "127.0.0.2", "127.0.0.1"});
        for (int i = 0; i < 200; ++i) {
            // A client per round, some of them destroyed while still connected.
            TcpClient client(loop, resolver, 50ms);
            bool connected = false;
            std::optional<ConnectFailure> failed;
            bool closed = false;
            client.Connected = [&] { connected = true; };
            client.ConnectFailed = [&](ConnectFailure failure) { failed = failure; };
            client.ConnectionClosed = [&](CloseKind) { closed = true; };
            client.Connect(i % 2 == 0 ? "127.0.0.1" : kName, server.Port());
            ASSERT_TRUE(loop.RunUntil([&] { return connected || failed; }, 10s));
            ASSERT_TRUE(connected);
            ASSERT_TRUE(client.SendData("q\r\n"));
            if (i % 4 != 0) {
                ASSERT_TRUE(loop.RunUntil([&] { return closed; }, 10s));
                client.Disconnect();
            }
            failed.reset();
            client.Connect(kName, refusing.Port());
            ASSERT_TRUE(loop.RunUntil([&] { return failed.has_value(); }, 10s));
            if (hanging.Full() && i % 20 == 0) {
                failed.reset();
                client.Connect("127.0.0.1", hanging.Port());
                ASSERT_TRUE(loop.RunUntil([&] { return failed.has_value(); }, 10s));
                EXPECT_EQ(*failed, ConnectFailure::TimedOut);
            }
            client.Connect("unknown.example.test", 43);
        }
        EXPECT_EQ(loop.WatchCount(), 0u);
        EXPECT_EQ(loop.TimerCount(), 0u);
    }
    EXPECT_EQ(test::OpenDescriptorCount(), before);
}

} // namespace
} // namespace whois
