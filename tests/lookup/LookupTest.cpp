// Lookups from end to end over real sockets: loopback whois servers on one port and
// several loopback addresses stand for the registry and the registrars' servers.
#include "LookupFixture.h"

#include "encoding/DecodeResponse.h"
#include "naming/WhoisQuery.h"
#include "net/PollEventLoop.h"
#include "net/TcpClient.h"
#include "support/CaseName.h"
#include "support/LoopbackWhoisServer.h"
#include "support/MapResolver.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>

namespace whois {
namespace {

using namespace std::chrono_literals;
using test::Answer;
using test::ConnectionScript;
using test::Ending;
using test::LoopbackWhoisServer;
using test::Segment;

TEST_F(LookupTest, FollowsTheReferralAndShowsTheRegistrarsAnswer)
{
    const std::string registryAnswer = AnswerOf(400, kRegistrar);
    const std::string registrarAnswer = AnswerOf(300);
    Registry({Answer(registryAnswer)});
    LoopbackWhoisServer& registrar = Server(kRegistrarAddress, {HeldAnswer(registrarAnswer)});
    Start();

    lookup->RunQuery();
    EXPECT_EQ(state.currentServer, kRegistry);
    EXPECT_EQ(boxes.resultWrites, 0) << "the query command writes no box";

    // The registry's answer is on display while the registrar's is awaited.
    ASSERT_TRUE(ResultShows(registryAnswer));
    EXPECT_EQ(boxes.server, kRegistry);
    EXPECT_EQ(state.resultText, registryAnswer);
    EXPECT_EQ(state.referralServer, kRegistrar);
    EXPECT_EQ(state.previousResultText, registryAnswer);
    EXPECT_EQ(state.previousServer, kRegistry);
    EXPECT_EQ(state.currentServer, kRegistrar);
    EXPECT_EQ(state.savedQueryText, kQuery);
    EXPECT_EQ(state.followUpPending, 0);

    registrar.Release();
    ASSERT_TRUE(ResultShows(registrarAnswer));
    EXPECT_EQ(boxes.server, kRegistrar);
    EXPECT_EQ(state.referralServer, "");
    EXPECT_EQ(boxes.resultWrites, 2);
    EXPECT_EQ(registry->Received(0), "example.com\r\n");
    EXPECT_EQ(registrar.Received(0), "example.com\r\n");
    EXPECT_EQ(registrar.ConnectionCount(), 1u);
}

struct FallbackCase : test::NamedCase {
    std::size_t registryLength;
    std::size_t registrarLength;
    bool queryEdited;
    bool fallsBack;
};

class FallbackTest : public LookupTest, public testing::WithParamInterface<FallbackCase> {};

TEST_P(FallbackTest, ShortRegistrarAnswerGivesWayToSubstantialRegistryAnswer)
{
    const FallbackCase& c = GetParam();
    const std::string registryAnswer = AnswerOf(c.registryLength, kRegistrar);
    const std::string registrarAnswer = AnswerOf(c.registrarLength);
    Registry({Answer(registryAnswer)});
    LoopbackWhoisServer& registrar = Server(kRegistrarAddress, {HeldAnswer(registrarAnswer)});
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(ResultShows(registryAnswer));
    ASSERT_TRUE(WaitFor([&] { return registrar.Connection(0).requestLineSeen; }));
    if (c.queryEdited) {
        boxes.query += "x";
    }
    registrar.Release();

    ASSERT_TRUE(WaitFor([&] { return boxes.resultWrites >= 2; }));
    loop.RunFor(50ms);
    EXPECT_EQ(boxes.result, c.fallsBack ? registryAnswer : registrarAnswer);
    EXPECT_EQ(boxes.server, c.fallsBack ? kRegistry : kRegistrar);
    EXPECT_EQ(boxes.resultWrites, c.fallsBack ? 3 : 2);
    // The record keeps the registrar's answer whatever the boxes show.
    EXPECT_EQ(state.resultText, registrarAnswer);
    EXPECT_EQ(state.currentServer, kRegistrar);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FallbackTest,
    testing::Values(FallbackCase{{"ShortAfterSubstantial"}, 101, 99, false, true},
                    FallbackCase{{"RegistrarAnswerOfExactly100"}, 101, 100, false, false},
                    FallbackCase{{"RegistryAnswerOfExactly100"}, 100, 99, false, false},
                    FallbackCase{{"QueryEditedByOneByte"}, 101, 99, true, false}),
    test::CaseName());

TEST_F(LookupTest, RepeatedQueryFallsBackToTheAnswerSavedByAnEarlierFollowUp)
{
    const std::string registryAnswer = AnswerOf(500, kRegistrar);
    const std::string registrarAnswer = AnswerOf(200);
    const std::string shortAnswer = AnswerOf(60);
    Registry({Answer(registryAnswer), Answer(shortAnswer)});
    Server(kRegistrarAddress, {Answer(registrarAnswer)});
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(ResultShows(registrarAnswer));

    lookup->RunQuery();
    ASSERT_TRUE(WaitFor([&] { return boxes.resultWrites == 4; }));
    EXPECT_EQ(boxes.result, registryAnswer);
    EXPECT_EQ(boxes.server, kRegistry);
    EXPECT_EQ(state.resultText, shortAnswer);
}

struct ReferralCase : test::NamedCase {
    const char* referral;
    bool followed;
};

class ReferralDecisionTest : public LookupTest, public testing::WithParamInterface<ReferralCase> {};

TEST_P(ReferralDecisionTest, FollowsOnlyLongEnoughReferralsToAnotherServer)
{
    const ReferralCase& c = GetParam();
    if (std::string_view(c.referral) != kRegistry) {
        resolver.Add(c.referral, kRegistrarAddress);
    }
    const std::string registryAnswer = AnswerOf(300, c.referral);
    const std::string registrarAnswer = AnswerOf(200);
    Registry({Answer(registryAnswer)});
    LoopbackWhoisServer& registrar = Server(kRegistrarAddress, {Answer(registrarAnswer)});
    Start();

    lookup->RunQuery();
    if (c.followed) {
        ASSERT_TRUE(ResultShows(registrarAnswer));
        EXPECT_EQ(boxes.server, c.referral);
    } else {
        ASSERT_TRUE(ResultShows(registryAnswer));
        loop.RunFor(200ms);
        EXPECT_EQ(boxes.result, registryAnswer);
        EXPECT_EQ(boxes.server, kRegistry);
        EXPECT_EQ(registrar.ConnectionCount(), 0u);
        EXPECT_EQ(registry->ConnectionCount(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReferralDecisionTest,
    testing::Values(ReferralCase{{"FiveBytes"}, "a.bcd", false},
                    ReferralCase{{"SixBytes"}, "ab.cde", true},
                    ReferralCase{{"ServerJustAsked"}, kRegistry, false},
                    ReferralCase{{"CaseOnlyDifference"}, "COM.whois-servers.net", true}),
    test::CaseName());

TEST_F(LookupTest, UnreachableReferralKeepsTheRegistrysAnswer)
{
    const std::string registryAnswer = AnswerOf(300, "whois.nowhere.test");
    Registry({Answer(registryAnswer)});
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(ResultShows(registryAnswer));
    loop.RunFor(200ms);
    EXPECT_EQ(boxes.server, kRegistry);
    EXPECT_EQ(boxes.resultWrites, 1);
    EXPECT_EQ(state.currentServer, "whois.nowhere.test");
    EXPECT_EQ(state.previousServer, kRegistry);
    EXPECT_EQ(state.previousResultText, registryAnswer);
    EXPECT_EQ(state.savedQueryText, kQuery);
}

TEST_F(LookupTest, SecondQueryAbandonsTheFirstAnswer)
{
    const std::string second = AnswerOf(250);
    LoopbackWhoisServer& server = Registry({HeldAnswer(AnswerOf(300)), Answer(second)});
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(WaitFor([&] { return server.Connection(0).requestLineSeen; }));
    lookup->RunQuery();
    ASSERT_TRUE(ResultShows(second));
    server.Release();
    loop.RunFor(200ms);
    EXPECT_EQ(boxes.result, second);
    EXPECT_EQ(boxes.resultWrites, 1);
}

TEST_F(LookupTest, AnswerInSeveralSegmentsIsShownWholeAndItsLateReferralFollowed)
{
    const std::string whole = AnswerOf(3000, kRegistrar);
    ConnectionScript segmented;
    segmented.segments = {Segment{whole.substr(0, 1000)}, Segment{whole.substr(1000, 1000), 150ms},
                          Segment{whole.substr(2000), 150ms}};
    Registry({segmented});
    const std::string registrarAnswer = AnswerOf(400);
    LoopbackWhoisServer& registrar = Server(kRegistrarAddress, {HeldAnswer(registrarAnswer)});
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(WaitFor([&] { return boxes.resultWrites > 0; }));
    EXPECT_EQ(boxes.result, whole);
    registrar.Release();
    ASSERT_TRUE(ResultShows(registrarAnswer));
}

TEST_F(LookupTest, ServerThatNeverClosesIsAnsweredAfterItFallsSilent)
{
    ConnectionScript open = Answer(AnswerOf(200));
    open.ending = Ending::KeepOpen;
    LoopbackWhoisServer& server = Registry({open});
    Start(ShortBounds());

    lookup->RunQuery();
    ASSERT_TRUE(ResultShows(AnswerOf(200) + "\n" +
                            DecodeResponse(DescribeCutShort(AnswerEnd::Silence)) + "\n"));
    EXPECT_TRUE(WaitFor([&] { return server.Connection(0).clientClosed; }));
}

TEST_F(LookupTest, EndlessStreamStopsAtTheSizeBound)
{
    ConnectionScript endless;
    endless.ending = Ending::StreamForever;
    LoopbackWhoisServer& server = Registry({endless});
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(loop.RunUntil([&] { return boxes.resultWrites > 0; }, 20s));
    const Text note = DecodeResponse(DescribeCutShort(AnswerEnd::SizeCap));
    EXPECT_EQ(state.resultText.size(), (std::size_t{4} << 20) + 1 + note.size() + 1);
    EXPECT_TRUE(state.resultText.ends_with("\n" + note + "\n"));
    EXPECT_EQ(observer.finished.at(0).answer.size(), std::size_t{4} << 20);
    EXPECT_FALSE(client.IsConnected()) << "reading stops at the bound";
    EXPECT_GT(server.Connection(0).bytesSent, std::size_t{4} << 20);
}

TEST_F(LookupTest, ReferralLoopEndsAfterTheSecondServer)
{
    const std::string registrarAnswer = AnswerOf(300, kRegistry);
    Registry({Answer(AnswerOf(300, kRegistrar))});
    LoopbackWhoisServer& registrar = Server(kRegistrarAddress, {Answer(registrarAnswer)});
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(ResultShows(registrarAnswer));
    loop.RunFor(200ms);
    EXPECT_EQ(registry->ConnectionCount(), 1u);
    EXPECT_EQ(registrar.ConnectionCount(), 1u);
    EXPECT_EQ(boxes.server, kRegistrar);
}

TEST_F(LookupTest, ReferralChainEndsAfterFiveFollowUps)
{
    // Each server names the next: the registry, then six more on their own addresses.
    Registry({Answer(AnswerOf(300, "whois.hop1.test"))});
    std::vector<LoopbackWhoisServer*> hops;
    for (int hop = 1; hop <= 6; ++hop) {
        const std::string name = "whois.hop" + std::to_string(hop) + ".test";
        const std::string address = "127.0.0." + std::to_string(10 + hop);
        resolver.Add(name, address);
        const std::string next = "whois.hop" + std::to_string(hop + 1) + ".test";
        hops.push_back(&Server(address.c_str(), {Answer(AnswerOf(300, next))}));
    }
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(WaitFor([&] { return boxes.server == "whois.hop5.test"; }));
    loop.RunFor(300ms);
    EXPECT_EQ(boxes.server, "whois.hop5.test");
    EXPECT_EQ(hops[5]->ConnectionCount(), 0u);
    EXPECT_EQ(boxes.resultWrites, 6);
}

TEST_F(LookupTest, ResetInMidAnswerShowsWhatArrived)
{
    const std::string whole = AnswerOf(700);
    ConnectionScript reset;
    reset.segments = {Segment{whole.substr(0, 300)}, Segment{whole.substr(300), 100ms}};
    reset.ending = Ending::Reset;
    Registry({reset});
    Start(ShortBounds());

    lookup->RunQuery();
    ASSERT_TRUE(Finished());
    // The reset may take unread bytes with it; what is shown is the answer's beginning, and
    // a line saying it was cut short.
    const std::string shown = observer.finished.at(0).answer;
    EXPECT_GE(shown.size(), 300u);
    EXPECT_EQ(shown, whole.substr(0, shown.size()));
    EXPECT_TRUE(boxes.result.ends_with(DecodeResponse(DescribeCutShort(AnswerEnd::Reset)) + "\n"));
}

struct WireCase : test::NamedCase {
    const char* typed;
    const char* onTheWire;
};

class RequestOnTheWireTest : public LookupTest, public testing::WithParamInterface<WireCase> {};

TEST_P(RequestOnTheWireTest, SendsTheNormalisedQuery)
{
    const WireCase& c = GetParam();
    Registry({Answer(AnswerOf(150))});
    Start();
    boxes.query = c.typed;

    lookup->RunQuery();
    ASSERT_TRUE(WaitFor([&] { return boxes.resultWrites > 0; }));
    EXPECT_EQ(registry->Received(0), c.onTheWire);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RequestOnTheWireTest,
    testing::Values(
        WireCase{{"HostName"}, "shop.example.com", "example.com\r\n"},
        WireCase{{"WebAddress"}, "HTTPS://user@Mail.Example.COM:8443/a?b#c", "example.com\r\n"},
        WireCase{{"HostAndPortWithSpaces"}, "  mail.example.com:8080  ", "example.com\r\n"},
        WireCase{{"KeywordQuery"}, " domain Example.COM", " domain Example.COM\r\n"}),
    test::CaseName());

} // namespace
} // namespace whois

namespace whois {
namespace {

std::string ReadSample(const std::string& name)
{
    std::ifstream in(std::string(WHOIS_SAMPLES_DIR) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct ReplayCase : test::NamedCase {
    const char* typed;
    const char* registrySample;
    const char* registryName; // the directory name the query command derives
    const char* referral;     // empty: the answer names no server
    const char* registrarSample;
};

class ReplayTest : public LookupTest, public testing::WithParamInterface<ReplayCase> {};

TEST_P(ReplayTest, RealAnswersLeadToOneFollowUpAtMost)
{
    const ReplayCase& c = GetParam();
    const std::string registryBytes = ReadSample(c.registrySample);
    ASSERT_FALSE(registryBytes.empty()) << c.registrySample;
    resolver.Add(c.registryName, kRegistryAddress);
    Registry({Answer(registryBytes)});
    const bool refers = *c.referral != '\0';
    std::string registrarBytes;
    if (refers) {
        resolver.Add(c.referral, kRegistrarAddress);
        registrarBytes = ReadSample(c.registrarSample);
        ASSERT_FALSE(registrarBytes.empty()) << c.registrarSample;
    }
    LoopbackWhoisServer& registrar = Server(kRegistrarAddress, {Answer(registrarBytes)});
    boxes.query = c.typed;
    Start();

    lookup->RunQuery();
    ASSERT_TRUE(WaitFor([&] { return boxes.resultWrites == (refers ? 2 : 1); }));
    loop.RunFor(200ms);

    EXPECT_EQ(registry->ConnectionCount(), 1u);
    EXPECT_EQ(registrar.ConnectionCount(), refers ? 1u : 0u);
    if (refers) {
        EXPECT_EQ(registrar.Received(0), registry->Received(0)) << "the same request";
        EXPECT_EQ(boxes.server, c.referral);
        EXPECT_EQ(boxes.result, DecodeResponse(registrarBytes));
    } else {
        EXPECT_EQ(boxes.server, c.registryName);
        EXPECT_EQ(boxes.result, DecodeResponse(registryBytes));
    }
    EXPECT_EQ(boxes.resultWrites, refers ? 2 : 1);
    const std::vector<Text> asked =
        refers ? std::vector<Text>{c.registryName, c.referral} : std::vector<Text>{c.registryName};
    EXPECT_EQ(resolver.Asked(), asked) << "no server is asked beyond these";
}

INSTANTIATE_TEST_SUITE_P(Cases, ReplayTest,
                         testing::Values(ReplayCase{{"VerisignToMarkMonitor"},
                                                    "google.com",
                                                    "whois.verisign-grs.com__google.com.txt",
                                                    "com.whois-servers.net",
                                                    "whois.markmonitor.com",
                                                    "whois.markmonitor.com__google.com.txt"},
                                         ReplayCase{{"VerisignNetToRegistrar"},
                                                    "http://www.nic.net/",
                                                    "whois.verisign-grs.com__nic.net.txt",
                                                    "net.whois-servers.net",
                                                    "whois.domain.com",
                                                    "whois.jprs.jp__google.co.jp.txt"},
                                         ReplayCase{{"VerisignFiftyRecordsLastDecides"},
                                                    "dns.com",
                                                    "whois.verisign-grs.com__dns.com.txt",
                                                    "com.whois-servers.net",
                                                    "whois.moniker.com",
                                                    "whois.cnnic.cn__cnnic.cn.txt"},
                                         ReplayCase{{"VerisignMixedCaseReferral"},
                                                    "whois.com",
                                                    "whois.verisign-grs.com__whois.com.txt",
                                                    "com.whois-servers.net",
                                                    "whois.PublicDomainRegistry.com",
                                                    "whois.nic.fr__google.fr.txt"},
                                         ReplayCase{{"PublicInterestRegistry"},
                                                    "google.org",
                                                    "whois.pir.org__google.org.txt",
                                                    "org.whois-servers.net",
                                                    "whois.markmonitor.com",
                                                    "whois.markmonitor.com__google.com.txt"},
                                         ReplayCase{
                                             {"VerisignNoMatch"},
                                             "zx5v7d4v2k50l3pq.com",
                                             "whois.verisign-grs.com__zx5v7d4v2k50l3pq.com.txt",
                                             "com.whois-servers.net",
                                             "",
                                             ""},
                                         ReplayCase{{"Latin1Registry"},
                                                    "nic.br",
                                                    "whois.registro.br__nic.br.txt",
                                                    "br.whois-servers.net",
                                                    "",
                                                    ""},
                                         ReplayCase{{"ChineseRegistry"},
                                                    "cnnic.cn",
                                                    "whois.cnnic.cn__cnnic.cn.txt",
                                                    "cn.whois-servers.net",
                                                    "",
                                                    ""}),
                         test::CaseName());

} // namespace
} // namespace whois
