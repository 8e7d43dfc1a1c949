#include "net/TcpClient.h"

#include "RecordingClient.h"
#include "support/CaseName.h"
#include "support/LoopbackWhoisServer.h"

#include <gtest/gtest.h>

#include <memory>

namespace whois {
namespace {

using namespace std::chrono_literals;
using test::ConnectionRecord;
using test::ConnectionScript;
using test::Ending;
using test::LoopbackWhoisServer;
using test::Segment;
using Events = std::vector<std::string>;

bool AnswerDone(const ConnectionRecord& record)
{
    return record.answerDone;
}

bool ClientClosed(const ConnectionRecord& record)
{
    return record.clientClosed;
}

// Answers as soon as the connection is accepted, without waiting for a request.
ConnectionScript Unasked(std::vector<Segment> segments, Ending ending = Ending::Close)
{
    return ConnectionScript{false, std::move(segments), ending};
}

TEST(TcpClientDeliveryTest, AnswerAndCloseAlreadyArrivedComeInOneDrain)
{
    const std::string answer(300, 'a');
    LoopbackWhoisServer server({Unasked({{answer}})});
    test::RecordingClient peer;
    ASSERT_TRUE(peer.ConnectAndWait("127.0.0.1", server.Port()));
    ASSERT_TRUE(server.WaitForConnection(0, AnswerDone));

    EXPECT_EQ(peer.loop.RunOnce(5000ms), 1u);
    EXPECT_EQ(peer.events, Events({"data:" + answer, "closed"}));
    // Readiness stays on after the close; the client must have stopped watching.
    EXPECT_EQ(peer.loop.WatchCount(), 0u);
}

TEST(TcpClientDeliveryTest, RequestGoesOutAsTheConnectionIsMadeAndEventsKeepTheirOrder)
{
    const std::string answer(300, 'a');
    LoopbackWhoisServer server({test::Answer(answer)});
    test::RecordingClient peer;
    bool connectedBeforeData = false;
    peer.client.Connected = [&] {
        peer.outcomes.push_back("connected");
        connectedBeforeData = peer.events.empty();
    };

    // A literal address on loopback usually connects before Connect returns; the request is
    // then already on its way, while the event still comes from the loop.
    peer.client.Connect("127.0.0.1", server.Port(), "example.com\r\n");
    EXPECT_TRUE(peer.outcomes.empty());
    ASSERT_TRUE(server.WaitForConnection(
        0, [](const test::ConnectionRecord& record) { return record.answerDone; }));
    EXPECT_EQ(server.Received(0), "example.com\r\n");

    ASSERT_TRUE(peer.loop.RunUntil([&] { return peer.events.size() == 2; }, 5s));
    EXPECT_EQ(peer.outcomes, Events({"connected"}));
    EXPECT_TRUE(connectedBeforeData) << "Connected comes before the answer";
    EXPECT_EQ(peer.events, Events({"data:" + answer, "closed"}));
}

TEST(TcpClientDeliveryTest, FetchDataGivesTheBytesOnlyInsideTheDispatch)
{
    LoopbackWhoisServer server({Unasked({{"answer"}})});
    test::RecordingClient peer;
    Events inside;
    peer.onData = [&] {
        inside.push_back(peer.client.FetchData());
        inside.push_back(peer.client.FetchData());
        peer.client.Disconnect();
        inside.push_back(peer.client.FetchData());
    };
    EXPECT_EQ(peer.client.FetchData(), "");
    ASSERT_TRUE(peer.ConnectAndWait("127.0.0.1", server.Port()));
    ASSERT_TRUE(peer.RunUntilEvents(1));

    EXPECT_EQ(inside, Events({"answer", "answer", "answer"}));
    EXPECT_EQ(peer.client.FetchData(), "");
}

TEST(TcpClientDeliveryTest, EverySegmentIsDeliveredOnceAndInOrder)
{
    LoopbackWhoisServer server({ConnectionScript{
        true, {{"first "}, {"second ", 0ms, true}, {"third", 0ms, true}}, Ending::Close}});
    test::RecordingClient peer;
    ASSERT_TRUE(peer.ConnectAndWait("127.0.0.1", server.Port()));
    ASSERT_TRUE(peer.client.SendData("q\r\n"));

    ASSERT_TRUE(peer.RunUntilEvents(1));
    server.Release();
    ASSERT_TRUE(peer.RunUntilEvents(2));
    server.Release();
    ASSERT_TRUE(peer.RunUntilEvents(3));
    // The close may come with the last bytes or in a drain of its own.
    peer.RunUntilEvents(4);
    EXPECT_EQ(peer.events, Events({"data:first ", "data:second ", "data:third", "closed"}));
}

TEST(TcpClientDeliveryTest, NothingArrivesAfterDisconnectInsideTheHandler)
{
    LoopbackWhoisServer server(
        {Unasked({{"first"}, {"rest of the answer", 0ms, true}}, Ending::KeepOpen)});
    test::RecordingClient peer;
    peer.onData = [&] { peer.client.Disconnect(); };
    ASSERT_TRUE(peer.ConnectAndWait("127.0.0.1", server.Port()));
    ASSERT_TRUE(peer.RunUntilEvents(1));

    server.Release();
    ASSERT_TRUE(server.WaitForConnection(0, ClientClosed));
    EXPECT_EQ(peer.loop.WatchCount(), 0u);
    peer.loop.RunOnce(0ms);
    EXPECT_EQ(peer.events, Events({"data:first"}));
}

TEST(TcpClientDeliveryTest, CloseSeenInTheDrainIsNotReportedAfterDisconnect)
{
    LoopbackWhoisServer server({Unasked({{"whole answer"}})});
    test::RecordingClient peer;
    peer.onData = [&] { peer.client.Disconnect(); };
    ASSERT_TRUE(peer.ConnectAndWait("127.0.0.1", server.Port()));
    ASSERT_TRUE(server.WaitForConnection(0, AnswerDone));

    EXPECT_EQ(peer.loop.RunOnce(5000ms), 1u);
    EXPECT_EQ(peer.events, Events({"data:whole answer"}));
}

TEST(TcpClientDeliveryTest, ReconnectInsideTheHandlerDeliversTheNewAnswerAfterItReturns)
{
    LoopbackWhoisServer registry({Unasked({{"registry"}, {"late bytes", 0ms, true}})});
    LoopbackWhoisServer registrar({test::Answer("registrar")});
    test::RecordingClient peer;
    bool inHandler = false;
    bool nested = false;
    peer.onData = [&] {
        nested = nested || inHandler;
        if (peer.events.size() == 1) {
            inHandler = true;
            peer.client.Disconnect();
            peer.client.Connect("127.0.0.1", registrar.Port());
            EXPECT_TRUE(peer.client.IsConnecting());
            inHandler = false;
        }
    };
    ASSERT_TRUE(peer.ConnectAndWait("127.0.0.1", registry.Port()));
    peer.client.Connected = [&] {
        nested = nested || inHandler;
        EXPECT_TRUE(peer.client.SendData("q\r\n"));
    };
    ASSERT_TRUE(peer.RunUntilEvents(3));
    registry.Release();
    ASSERT_TRUE(registry.WaitForConnection(0, ClientClosed));
    peer.loop.RunOnce(0ms);

    EXPECT_FALSE(nested);
    EXPECT_EQ(peer.events, Events({"data:registry", "data:registrar", "closed"}));
}

TEST(TcpClientDeliveryTest, CloseWithoutBytesRaisesOnlyConnectionClosed)
{
    LoopbackWhoisServer server({Unasked({})});
    test::RecordingClient peer;
    ASSERT_TRUE(peer.ConnectAndWait("127.0.0.1", server.Port()));
    ASSERT_TRUE(peer.RunUntilEvents(1));

    EXPECT_EQ(peer.events, Events({"closed"}));
    EXPECT_EQ(peer.loop.WatchCount(), 0u);
    // The connection was closed by the peer, not by the owner.
    EXPECT_TRUE(peer.client.IsConnected());
}

// How the answer ends decides the kind of close reported after the bytes.
struct EndingCase : test::NamedCase {
    Ending ending;
    std::string event;
};

class TcpClientEndingTest : public testing::TestWithParam<EndingCase> {};

TEST_P(TcpClientEndingTest, EndsTheConnectionAfterTheBytes)
{
    LoopbackWhoisServer server({Unasked({{"partial"}, {"", 0ms, true}}, GetParam().ending)});
    test::RecordingClient peer;
    ASSERT_TRUE(peer.ConnectAndWait("127.0.0.1", server.Port()));
    ASSERT_TRUE(peer.RunUntilEvents(1));
    server.Release();

    ASSERT_TRUE(peer.RunUntilEvents(2));
    EXPECT_EQ(peer.events, Events({"data:partial", GetParam().event}));
    EXPECT_EQ(peer.loop.WatchCount(), 0u);
    if (GetParam().ending == Ending::Reset) {
        EXPECT_FALSE(peer.client.SendData("more\r\n"));
    }
}

INSTANTIATE_TEST_SUITE_P(Endings, TcpClientEndingTest,
                         testing::Values(EndingCase{"Close", Ending::Close, "closed"},
                                         EndingCase{"ResetInMidAnswer", Ending::Reset, "reset"}),
                         test::CaseName());

TEST(TcpClientDeliveryTest, EndlessStreamComesInBoundedDrainsAndLeavesTheLoopResponsive)
{
    LoopbackWhoisServer server({Unasked({}, Ending::StreamForever)});
    test::RecordingClient peer;
    std::size_t total = 0;
    std::size_t largest = 0;
    int ticks = 0;
    peer.client.DataArrived = [&] {
        const std::size_t size = peer.client.FetchData().size();
        total += size;
        largest = std::max(largest, size);
    };
    std::function<void()> tick = [&] {
        ++ticks;
        peer.loop.StartTimer(0ms, tick);
    };
    peer.loop.StartTimer(0ms, tick);
    ASSERT_TRUE(peer.ConnectAndWait("127.0.0.1", server.Port()));

    ASSERT_TRUE(peer.loop.RunUntil([&] { return total >= (8u << 20); }, 30s));
    EXPECT_LE(largest, TcpClient::kMaxDrainBytes);
    EXPECT_GE(ticks, 8);
    peer.client.Disconnect();
    EXPECT_TRUE(server.WaitForConnection(0, ClientClosed));
}

TEST(TcpClientDeliveryTest, HandlerMayDestroyTheClient)
{
    LoopbackWhoisServer server({Unasked({{"answer"}})});
    PollEventLoop loop;
    test::MapResolver resolver;
    auto client = std::make_unique<TcpClient>(loop, resolver);
    std::string fetched;
    client->DataArrived = [&] {
        fetched = client->FetchData();
        client.reset();
    };
    client->Connect("127.0.0.1", server.Port());
    ASSERT_TRUE(loop.RunUntil([&] { return client == nullptr; }, 10s));

    EXPECT_EQ(fetched, "answer");
    EXPECT_EQ(loop.WatchCount(), 0u);
    EXPECT_TRUE(server.WaitForConnection(0, ClientClosed));
}

} // namespace
} // namespace whois
