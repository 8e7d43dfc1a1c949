#include "net/TcpClient.h"

#include "RecordingClient.h"
#include "support/CaseName.h"
#include "support/FullBacklogListener.h"
#include "support/LoopbackWhoisServer.h"
#include "support/OpenDescriptors.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace whois {
namespace {

using namespace std::chrono_literals;
using test::ConnectionRecord;
using test::LoopbackWhoisServer;

// A loopback port that refuses connections: bound, so nobody else takes it, but not listening.
class RefusingPort {
  public:
    RefusingPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_EQ(::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length), 0);
        port_ = ntohs(address.sin_port);
    }
    ~RefusingPort() { ::close(fd_); }
    int Port() const { return port_; }

  private:
    int fd_;
    int port_ = 0;
};

bool ClientClosed(const ConnectionRecord& record)
{
    return record.clientClosed;
}

// Host forms that reach the loopback server, and the names the resolver is asked for.
struct ReachCase : test::NamedCase {
    std::string host;
    std::vector<std::string> lookups;
};

class TcpClientReachTest : public testing::TestWithParam<ReachCase> {};

TEST_P(TcpClientReachTest, ConnectsAndLooksUpOnlyNames)
{
    const ReachCase& c = GetParam();
    LoopbackWhoisServer server({test::Silent()});
    test::RecordingClient peer;

    EXPECT_TRUE(peer.client.Connect(c.host, server.Port()));
    EXPECT_TRUE(peer.client.IsConnected());
    EXPECT_EQ(peer.resolver.Asked(), c.lookups);
    EXPECT_TRUE(server.WaitForConnection(0, [](const ConnectionRecord&) { return true; }));
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, TcpClientReachTest,
    testing::Values(ReachCase{"DottedAddress", "127.0.0.1", {}},
                    ReachCase{"ShortDottedAddress", "127.1", {}},
                    ReachCase{"HexDottedAddress", "0x7f.0.0.1", {}},
                    ReachCase{"HostName", "whois.example.test", {"whois.example.test"}}),
    test::CaseName());

// Connects that fail: no event, no watch, no connection for SendData.
enum class Target { Server, Refusing };

struct FailureCase : test::NamedCase {
    std::string host;
    Target target;
    int portOffset; // added to the target's port
    std::vector<std::string> lookups;
};

class TcpClientConnectFailureTest : public testing::TestWithParam<FailureCase> {};

TEST_P(TcpClientConnectFailureTest, FailsQuietly)
{
    const FailureCase& c = GetParam();
    LoopbackWhoisServer server({test::Silent()});
    RefusingPort refusing;
    test::RecordingClient peer;
    const int port = (c.target == Target::Server ? server.Port() : refusing.Port()) + c.portOffset;

    EXPECT_FALSE(peer.client.Connect(c.host, port));
    EXPECT_FALSE(peer.client.IsConnected());
    EXPECT_FALSE(peer.client.SendData("abc"));
    EXPECT_EQ(peer.resolver.Asked(), c.lookups);
    EXPECT_EQ(peer.loop.WatchCount(), 0u);
    peer.loop.RunOnce(0ms);
    EXPECT_TRUE(peer.events.empty());
    EXPECT_EQ(server.ConnectionCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, TcpClientConnectFailureTest,
    testing::Values(
        FailureCase{"EmptyHost", "", Target::Server, 0, {}},
        FailureCase{
            "UnknownName", "nowhere.example.test", Target::Server, 0, {"nowhere.example.test"}},
        FailureCase{"ZeroByteInHost", std::string("127.0.0.1\0.x", 12), Target::Server, 0, {}},
        // 65536 more would wrap around to the server's own port.
        FailureCase{"PortBeyondSixteenBits", "127.0.0.1", Target::Server, 65536, {}},
        FailureCase{"ConnectionRefused", "127.0.0.1", Target::Refusing, 0, {}},
        FailureCase{"NameOfRefusingHost",
                    "whois.example.test",
                    Target::Refusing,
                    0,
                    {"whois.example.test"}}),
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
        EXPECT_TRUE(peer.client.Connect("127.0.0.1", port));
        ++connections;
        EXPECT_TRUE(server.WaitForConnection(connections - 1,
                                             [](const ConnectionRecord&) { return true; }));
    }
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
    ASSERT_TRUE(peer.client.Connect("127.0.0.1", server.Port()));

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
    ASSERT_TRUE(peer.client.Connect("127.0.0.1", ntohs(address.sin_port)));
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

    ASSERT_TRUE(peer.client.Connect("127.0.0.1", old.Port()));
    // The old answer is waiting in the socket when the client moves on.
    ASSERT_TRUE(old.WaitForConnection(0, [](const ConnectionRecord& r) { return r.answerDone; }));
    ASSERT_TRUE(peer.client.Connect("127.0.0.1", fresh.Port()));
    EXPECT_TRUE(peer.client.SendData("q\r\n"));

    ASSERT_TRUE(peer.RunUntilEvents(2));
    EXPECT_EQ(peer.events, std::vector<std::string>({"data:new answer", "closed"}));
    EXPECT_TRUE(old.WaitForConnection(0, ClientClosed));
    EXPECT_EQ(fresh.Received(0), "q\r\n");
}

TEST(TcpClientTimeoutTest, ConnectGivesUpAtItsBoundAndDispatchesNothingMeanwhile)
{
    test::FullBacklogListener listener;
    if (!listener.Full()) {
        GTEST_SKIP() << "could not fill the accept queue of a loopback listener";
    }
    test::RecordingClient peer(300ms);
    bool timerFired = false;
    peer.loop.StartTimer(0ms, [&] { timerFired = true; });

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(peer.client.Connect("127.0.0.1", listener.Port()));
    const auto took = std::chrono::steady_clock::now() - start;

    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 5s);
    EXPECT_FALSE(timerFired);
    EXPECT_FALSE(peer.client.IsConnected());
    EXPECT_EQ(peer.loop.WatchCount(), 0u);
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
        for (int i = 0; i < 200; ++i) {
            // A client per round, some of them destroyed while still connected.
            TcpClient client(loop, resolver, 20ms);
            bool closed = false;
            client.ConnectionClosed = [&] { closed = true; };
            ASSERT_TRUE(client.Connect("127.0.0.1", server.Port()));
            ASSERT_TRUE(client.SendData("q\r\n"));
            if (i % 4 != 0) {
                ASSERT_TRUE(loop.RunUntil([&] { return closed; }, 10s));
                client.Disconnect();
            }
            EXPECT_FALSE(client.Connect("127.0.0.1", refusing.Port()));
            EXPECT_FALSE(client.Connect("unknown.example.test", 43));
            if (hanging.Full() && i % 20 == 0) {
                EXPECT_FALSE(client.Connect("127.0.0.1", hanging.Port()));
            }
        }
        EXPECT_EQ(loop.WatchCount(), 0u);
    }
    EXPECT_EQ(test::OpenDescriptorCount(), before);
}

} // namespace
} // namespace whois
