// Routes beyond the directory's server: IANA when it cannot be used, the servers IANA
// names, the address registries' referrals, and what the boxes show when nothing answers.
#include "LookupFixture.h"

#include "encoding/DecodeResponse.h"
#include "support/CaseName.h"
#include "support/FullBacklogListener.h"

#include <fstream>
#include <iterator>

namespace whois {
namespace {

constexpr char kNicXyz[] = "whois.nic.xyz";
constexpr char kNicXyzAddress[] = "127.0.0.5";
constexpr char kArin[] = "whois.arin.net";
constexpr char kArinAddress[] = "127.0.0.6";
constexpr char kLacnic[] = "whois.lacnic.net";
constexpr char kLacnicAddress[] = "127.0.0.7";
constexpr char kNobodyAddress[] = "127.0.0.9"; // no server listens there

std::string ReadSample(const std::string& name)
{
    std::ifstream file(std::string(WHOIS_SAMPLES_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A failure line as the result box shows it.
Text Line(const char* server, const char* reasonUtf8)
{
    return Text(server) + ": " + DecodeResponse(reasonUtf8) + "\n";
}

class LookupRoutesTest : public LookupTest {};

TEST_F(LookupRoutesTest, TldMissingFromTheDirectoryIsFoundThroughIanaAndRemembered)
{
    const std::string record = AnswerOf(300);
    LoopbackWhoisServer& iana = Registry(
        {Answer("% IANA WHOIS server\n\ndomain:       XYZ\nrefer:        whois.nic.xyz\n")},
        kIanaAddress);
    resolver.Add(kNicXyz, kNicXyzAddress);
    LoopbackWhoisServer& nic = Server(kNicXyzAddress, {Answer(record)});
    boxes.query = "https://shop.example.xyz/cart";
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(boxes.result, record);
    EXPECT_EQ(boxes.server, kNicXyz);
    EXPECT_EQ(iana.Received(0), "example.xyz\r\n");
    EXPECT_EQ(nic.Received(0), "example.xyz\r\n");
    EXPECT_EQ(boxes.resultWrites, 1) << "IANA's answer is a signpost, never shown";
    EXPECT_EQ(routes.ServerFor("xyz"), std::optional<std::string>(kNicXyz));

    // The next lookup for the TLD goes straight to the server that answered.
    boxes.query = "other.xyz";
    lookup->RunQuery();
    ASSERT_TRUE(Finished(2));
    EXPECT_EQ(observer.asked.back(), kNicXyz);
    EXPECT_EQ(iana.ConnectionCount(), 1u);
    EXPECT_EQ(nic.Received(1), "other.xyz\r\n");
    EXPECT_EQ(std::count(resolver.Asked().begin(), resolver.Asked().end(),
                         std::string("xyz.whois-servers.net")),
              1);

    // A remembered server that fails is forgotten, and IANA is asked again.
    servers.clear();
    lookup->RunQuery();
    ASSERT_TRUE(Finished(3));
    EXPECT_EQ(routes.ServerFor("xyz"), std::nullopt);
    EXPECT_EQ(iana.ConnectionCount(), 2u);
    EXPECT_EQ(boxes.result, Line(kNicXyz, "连接被拒绝"));
    EXPECT_FALSE(observer.finished.back().answered);
}

TEST_F(LookupRoutesTest, IpAddressGoesThroughIanaToArinAndOnToLacnic)
{
    const std::string arinAnswer = ReadSample("whois.arin.net__170.txt");
    const std::string lacnicAnswer = ReadSample("whois.lacnic.net__170.txt");
    ASSERT_FALSE(arinAnswer.empty());
    LoopbackWhoisServer& iana =
        Registry({Answer("% IANA WHOIS server\n\ninetnum:      170.0.0.0 - 170.255.255.255\n"
                         "refer:        whois.arin.net\n\nwhois:        whois.arin.net\n")},
                 kIanaAddress);
    resolver.Add(kArin, kArinAddress);
    resolver.Add(kLacnic, kLacnicAddress);
    LoopbackWhoisServer& arin = Server(kArinAddress, {Answer(arinAnswer)});
    LoopbackWhoisServer& lacnic = Server(kLacnicAddress, {Answer(lacnicAnswer)});
    boxes.query = "170.0.0.1";
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(boxes.result, DecodeResponse(lacnicAnswer));
    EXPECT_EQ(boxes.server, kLacnic);
    for (const LoopbackWhoisServer* server : {&iana, &arin, &lacnic}) {
        EXPECT_EQ(server->Received(0), "170.0.0.1\r\n");
    }
    EXPECT_EQ(routes.ServerFor("1"), std::nullopt) << "only top-level domains are remembered";
}

TEST_F(LookupRoutesTest, RwhoisReferralIsNotFollowed)
{
    const std::string arinAnswer = ReadSample("whois.arin.net__174.txt");
    Registry({Answer("refer:        whois.arin.net\n")}, kIanaAddress);
    resolver.Add(kArin, kArinAddress);
    Server(kArinAddress, {Answer(arinAnswer)});
    boxes.query = "174.0.0.1";
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(boxes.result, DecodeResponse(arinAnswer));
    EXPECT_EQ(boxes.server, kArin);
    EXPECT_EQ(observer.asked.size(), 3u) << "the directory, IANA and ARIN";
}

TEST_F(LookupRoutesTest, AsNumberIsSentInCapitalsToIanaAndTheRegistryItNames)
{
    const std::string lacnicAnswer = ReadSample("whois.lacnic.net__170.txt");
    LoopbackWhoisServer& iana =
        Registry({Answer(ReadSample("whois.iana.org__AS264957.txt"))}, kIanaAddress);
    resolver.Add(kLacnic, kLacnicAddress);
    LoopbackWhoisServer& lacnic = Server(kLacnicAddress, {Answer(lacnicAnswer)});
    boxes.query = "as264957";
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(iana.Received(0), "AS264957\r\n");
    EXPECT_EQ(lacnic.Received(0), "AS264957\r\n");
    EXPECT_EQ(boxes.result, DecodeResponse(lacnicAnswer));
}

TEST_F(LookupRoutesTest, QueryForATldShowsIanasRecord)
{
    const std::string record = ReadSample("whois.iana.org__kr.txt");
    Registry({Answer(record)}, kIanaAddress);
    boxes.query = ".KR";
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(boxes.result, DecodeResponse(record));
    EXPECT_EQ(boxes.server, kIana);
    EXPECT_TRUE(observer.finished.back().answered);
}

TEST_F(LookupRoutesTest, TldWithNoPort43ServerEndsInFailureLines)
{
    Registry({Answer(ReadSample("whois.iana.org__eh.txt"))}, kIanaAddress);
    boxes.query = "example.eh";
    boxes.result = "the answer of an earlier query";
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(boxes.result, Line("eh.whois-servers.net", "找不到该服务器名称") +
                                Line(kIana, "IANA 未列出可查询的 whois 服务器"));
    EXPECT_EQ(boxes.server, kIana);
    EXPECT_FALSE(observer.finished.back().answered);
}

// Each way the directory's server can fail, with IANA's server failing after it.
struct FailureCase : test::NamedCase {
    const char* directoryAddress; // empty: the name does not resolve
    std::optional<ConnectionScript> script;
    const char* reason;
};

class RouteFailureTest : public LookupTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(RouteFailureTest, EveryServerTriedIsNamedWithItsReason)
{
    const FailureCase& c = GetParam();
    if (c.script) {
        Registry({*c.script});
    } else {
        Registry({Answer("unused")}, kThirdAddress);
    }
    resolver = test::MapResolver();
    if (*c.directoryAddress != '\0') {
        resolver.Add(kRegistry, c.directoryAddress);
    }
    boxes.result = "the answer of an earlier query";
    Start(ShortBounds());

    lookup->RunQuery();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(boxes.result, Line(kRegistry, c.reason) + Line(kIana, "找不到该服务器名称"));
    EXPECT_EQ(boxes.server, kIana) << "the last server tried";
}

ConnectionScript ClosedAtOnce()
{
    ConnectionScript script;
    script.ending = Ending::Close;
    return script;
}

ConnectionScript ResetAtOnce()
{
    ConnectionScript script;
    script.ending = Ending::Reset;
    return script;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RouteFailureTest,
    testing::Values(
        FailureCase{{"NameNotFound"}, "", std::nullopt, "找不到该服务器名称"},
        FailureCase{{"Refused"}, kNobodyAddress, std::nullopt, "连接被拒绝"},
        FailureCase{
            {"ClosedWithoutAnswer"}, kRegistryAddress, ClosedAtOnce(), "服务器未作回答即关闭连接"},
        FailureCase{
            {"ResetWithoutAnswer"}, kRegistryAddress, ResetAtOnce(), "连接被重置，服务器未作回答"},
        FailureCase{{"SilentWithoutAnswer"}, kRegistryAddress, test::Silent(), "服务器没有回答"}),
    test::CaseName());

TEST_F(LookupRoutesTest, ConnectionThatNeverCompletesIsReportedAsATimeout)
{
    test::FullBacklogListener hanging;
    if (!hanging.Full()) {
        GTEST_SKIP() << "the kernel did not let the listener's queue fill";
    }
    port = hanging.Port();
    resolver = test::MapResolver();
    resolver.Add(kRegistry, "127.0.0.1");
    Start(ShortBounds());

    lookup->RunQuery();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(boxes.result, Line(kRegistry, "10 秒内未能连接") + Line(kIana, "找不到该服务器名称"));
}

TEST_F(LookupRoutesTest, FailedQueryNeverLeavesTheEarlierAnswerOnDisplay)
{
    const std::string answer = AnswerOf(300);
    Registry({Answer(answer)});
    Start();
    lookup->RunQuery();
    ASSERT_TRUE(Finished());
    ASSERT_EQ(boxes.result, answer);

    resolver = test::MapResolver();
    boxes.query = "example.org";
    lookup->RunQuery();
    ASSERT_TRUE(Finished(2));
    EXPECT_EQ(boxes.result, Line("org.whois-servers.net", "找不到该服务器名称") +
                                Line(kIana, "找不到该服务器名称"));
    EXPECT_EQ(boxes.server, kIana);
}

TEST_F(LookupRoutesTest, AnswerCutShortEndsWithALineAfterItsReferralIsFollowed)
{
    ConnectionScript keptOpen = Answer(AnswerOf(300, kRegistrar));
    keptOpen.ending = Ending::KeepOpen;
    Registry({keptOpen});
    LoopbackWhoisServer& registrar = Server(kRegistrarAddress, {HeldAnswer(AnswerOf(200))});
    Start(ShortBounds());

    lookup->RunQuery();
    ASSERT_TRUE(WaitFor([&] { return registrar.Connection(0).requestLineSeen; }));
    EXPECT_EQ(boxes.result, AnswerOf(300, kRegistrar) +
                                DecodeResponse("（服务器 10 秒无新数据，回答可能不完整）") + "\n");
    registrar.Release();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(boxes.result, AnswerOf(200));
}

// The registrar's name is looked up as soon as the registry's answer names it, before the
// rest of that answer is in; only the whole answer decides the follow-up.
TEST_F(LookupRoutesTest, ReferralNameIsLookedUpWhileTheAnswerArrives)
{
    ConnectionScript pieces;
    pieces.segments = {Segment{AnswerOf(300, kRegistrar)}, Segment{"more\r\n", 0ms, true}};
    LoopbackWhoisServer& server = Registry({pieces});
    Server(kRegistrarAddress, {Answer(AnswerOf(200))});
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(WaitFor([&] { return !resolver.Prefetched().empty(); }));
    EXPECT_EQ(resolver.Prefetched(), std::vector<std::string>({kRegistrar}));
    EXPECT_EQ(boxes.resultWrites, 0);
    server.Release();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(boxes.result, AnswerOf(200));
}

// Each piece of an answer restarts the silence bound, however many pieces came before.
TEST_F(LookupRoutesTest, PiecesCloserThanTheSilenceBoundKeepTheAnswerOpen)
{
    ConnectionScript slow;
    std::string whole;
    for (int i = 0; i < 6; ++i) {
        const std::string piece = "piece " + std::to_string(i) + "\n";
        slow.segments.push_back(Segment{piece, 200ms});
        whole += piece;
    }
    Registry({slow});
    Start(ShortBounds()); // 300 ms of silence ends an answer; this one takes 1.2 s in all

    lookup->RunQuery();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(boxes.result, whole);
    EXPECT_EQ(observer.finished.back().end, AnswerEnd::Closed);
}

TEST_F(LookupRoutesTest, TricklingAnswerEndsAtTheDeadline)
{
    ConnectionScript trickle;
    for (int i = 0; i < 40; ++i) {
        trickle.segments.push_back(Segment{"x", 50ms});
    }
    Registry({trickle});
    Lookup::Limits limits;
    limits.deadline = 400ms;
    Start(limits);

    lookup->RunQuery();
    ASSERT_TRUE(Finished());
    const Text note = DecodeResponse("（回答超过 60 秒，其后部分未显示）");
    ASSERT_TRUE(boxes.result.ends_with("\n" + note + "\n")) << boxes.result;
    EXPECT_LT(boxes.result.size(), 40 + note.size() + 2);
    EXPECT_EQ(observer.finished.back().end, AnswerEnd::Deadline);
}

TEST_F(LookupRoutesTest, FollowUpSendsTheRequestOfTheQueryThatStartedTheLookup)
{
    Registry({HeldAnswer(AnswerOf(300, kRegistrar))});
    LoopbackWhoisServer& registrar = Server(kRegistrarAddress, {Answer(AnswerOf(200))});
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(WaitFor([&] { return registry->Connection(0).requestLineSeen; }));
    boxes.query = "other-site.org";
    registry->Release();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(registrar.Received(0), "example.com\r\n");
}

TEST_F(LookupRoutesTest, RequestKeepsLettersCodePage936Lacks)
{
    resolver.Add("de.whois-servers.net", kRegistryAddress);
    Registry({Answer(AnswerOf(200))});
    boxes.query = "k?ln.de";
    boxes.queryUtf8 = "köln.de";
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(registry->Received(0), "xn--kln-sna.de\r\n");
}

TEST_F(LookupRoutesTest, SpacesOnlyQueryDoesNothingAtAll)
{
    Registry({Answer(AnswerOf(200))});
    boxes.query = "  \xA1\xA1 ";
    boxes.result = "shown before";
    Start();

    lookup->RunQuery();
    loop.RunFor(100ms);
    EXPECT_EQ(observer.started, 0);
    EXPECT_EQ(boxes.result, "shown before");
    EXPECT_EQ(registry->ConnectionCount(), 0u);
}

TEST_F(LookupRoutesTest, AbandonedLookupIsNeverReportedFinished)
{
    Registry({HeldAnswer(AnswerOf(300)), Answer(AnswerOf(200))});
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(WaitFor([&] { return registry->Connection(0).requestLineSeen; }));
    lookup->RunQuery();
    ASSERT_TRUE(Finished());
    registry->Release();
    loop.RunFor(100ms);
    EXPECT_EQ(observer.started, 2);
    EXPECT_EQ(observer.finished.size(), 1u);
    EXPECT_EQ(boxes.result, AnswerOf(200));
}

} // namespace
} // namespace whois
