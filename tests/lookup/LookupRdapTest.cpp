// RDAP as a route of the lookup: when it is asked, the registry then the registrar, and
// what the boxes show for each way an RDAP server can answer or fail.
#include "RdapLookupFixture.h"

#include "support/CaseName.h"
#include "support/FullBacklogListener.h"
#include "support/RefusingPort.h"

#include <functional>

namespace whois {
namespace {

constexpr char kRegistryAddress1[] = "127.0.0.2";
constexpr char kIanaAddress1[] = "127.0.0.4";
constexpr char kArinAddress[] = "127.0.0.6";
constexpr char kShortAnswer[] = "TLD is not supported.\n";
const std::string kErrorBody =
    R"({"errorCode": 500, "title": "Internal error", "description": ["Try later."]})";

// A port-43 failure line as the result box shows it (UTF-8).
std::string FailureLine(const std::string& server, const std::string& reason)
{
    return server + ": " + reason + "\n";
}

// How port 43 goes for the query.
enum class Port43 {
    NoServer,    // neither the directory's name nor IANA's resolves
    AllFail,     // both resolve, and both refuse the connection
    ShortAnswer, // the registry answers next to nothing
    LongAnswer,  // the registry answers with a record
};

struct TriggerCase : test::NamedCase {
    Port43 port43;
    int rdapStatus;       // 0: RDAP is not to be asked
    const char* expected; // UTF-8; the RDAP record when empty
    const char* server;   // the server box
};

class RdapTriggerTest : public RdapLookupTest, public testing::WithParamInterface<TriggerCase> {};

TEST_P(RdapTriggerTest, RdapIsAskedWhenPort43GivesNothingAndShownOrExplained)
{
    const TriggerCase& c = GetParam();
    const std::string record = AnswerOf(300);
    switch (c.port43) {
    case Port43::NoServer:
        break;
    case Port43::AllFail:
        resolver.Add(kTestRegistry, kRegistryAddress1);
        resolver.Add(kIana, kIanaAddress1);
        break;
    case Port43::ShortAnswer:
    case Port43::LongAnswer:
        resolver.Add(kTestRegistry, kRegistryAddress1);
        Whois(kRegistryAddress1, {Answer(c.port43 == Port43::ShortAnswer ? kShortAnswer : record)});
        break;
    }
    const std::string json = DomainJson(kDomainQuery);
    rdap.Serve("/rdap/domain/example.test",
               c.rdapStatus == 200 ? Respond(200, json) : Respond(c.rdapStatus, kErrorBody));
    boxes.result = "the answer of an earlier query";
    Start();

    ASSERT_TRUE(Run());
    const std::string url = rdap.Url("/rdap/domain/example.test");
    if (c.rdapStatus == 0) {
        EXPECT_EQ(boxes.result, record);
        EXPECT_EQ(rdap.RequestCount(), 0u);
        return;
    }
    ASSERT_EQ(rdap.RequestCount(), 1u);
    const test::HttpsRequestRecord request = rdap.Requests().front();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, "/rdap/domain/example.test");
    EXPECT_EQ(request.Header("Accept"), "application/rdap+json, application/json");
    EXPECT_TRUE(request.Header("User-Agent").starts_with("whois-desktop/"))
        << request.Header("User-Agent");
    if (*c.expected == '\0') {
        EXPECT_EQ(boxes.result, Shown(json, url));
        EXPECT_TRUE(boxes.result.starts_with("% RDAP " + url + "\n")) << boxes.result;
        EXPECT_TRUE(Outcome().answered);
        EXPECT_EQ(Outcome().json, json);
    } else {
        EXPECT_EQ(boxes.result, DecodeResponse(c.expected));
        EXPECT_EQ(Outcome().json, "");
    }
    EXPECT_EQ(boxes.server, c.server);
}

constexpr char kRdapServerError[] = "RDAP localhost:\n"
                                    "The RDAP server answered with HTTP status 500.\n"
                                    "Internal error\n"
                                    "Try later.\n";
const std::string kNoServerLines =
    FailureLine(kTestRegistry, "找不到该服务器名称") + FailureLine(kIana, "找不到该服务器名称");
const std::string kRefusedLines =
    FailureLine(kTestRegistry, "连接被拒绝") + FailureLine(kIana, "连接被拒绝");
const std::string kNoServerExpected = kNoServerLines + kRdapServerError;
const std::string kRefusedExpected = kRefusedLines + kRdapServerError;
const std::string kShortExpected = std::string(kShortAnswer) + kRdapServerError;

INSTANTIATE_TEST_SUITE_P(
    Cases, RdapTriggerTest,
    testing::Values(
        TriggerCase{{"NoPort43Server"}, Port43::NoServer, 200, "", "localhost"},
        TriggerCase{{"EveryPort43ServerFailed"}, Port43::AllFail, 200, "", "localhost"},
        TriggerCase{{"ShortRegistryAnswer"}, Port43::ShortAnswer, 200, "", "localhost"},
        TriggerCase{{"NoPort43ServerAndRdapFails"},
                    Port43::NoServer,
                    500,
                    kNoServerExpected.c_str(),
                    kIana},
        TriggerCase{{"EveryPort43ServerFailedAndRdapFails"},
                    Port43::AllFail,
                    500,
                    kRefusedExpected.c_str(),
                    kIana},
        TriggerCase{{"ShortRegistryAnswerComesBackWhenRdapFails"},
                    Port43::ShortAnswer,
                    500,
                    kShortExpected.c_str(),
                    kTestRegistry},
        TriggerCase{{"RecordOverPort43NeverAsksRdap"}, Port43::LongAnswer, 0, "", kTestRegistry}),
    test::CaseName());

// Verisign's answer for google.com links to MarkMonitor's; both are served here, the link
// pointing at 127.0.0.1 so the two servers' answers can be told apart by their host.
class RegistrarTest : public RdapLookupTest {
  protected:
    void SetUp() override
    {
        RdapLookupTest::SetUp();
        boxes.query = "google.com";
        registryJson = ReplaceAll(ReadRdapSample("rdap.verisign.com__domain_google.com.json"),
                                  R"(https:\/\/rdap.markmonitor.com\/)", registrarBase);
        ASSERT_NE(registryJson.find(registrarBase), std::string::npos);
        rdap.Serve("/rdap/domain/google.com", Respond(200, registryJson));
    }

    std::string registrarBase = rdap.Url("/", "127.0.0.1");
    std::string registrarUrl = registrarBase + "rdap/domain/GOOGLE.COM";
    std::string registryUrl = rdap.Url("/rdap/domain/google.com");
    std::string registryJson;
};

TEST_F(RegistrarTest, RegistrarsAnswerIsShown)
{
    const std::string registrarJson =
        ReadRdapSample("rdap.markmonitor.com__domain_GOOGLE.COM.json");
    rdap.Serve("/rdap/domain/GOOGLE.COM", Respond(200, registrarJson));
    Start();

    ASSERT_TRUE(Run());
    EXPECT_EQ(boxes.result, Shown(registrarJson, registrarUrl));
    EXPECT_TRUE(boxes.result.starts_with("% RDAP " + registrarUrl + "\n"));
    EXPECT_EQ(boxes.server, "127.0.0.1");
    EXPECT_EQ(Outcome().json, registrarJson);
    EXPECT_EQ(Outcome().server, "127.0.0.1");
    const auto requests = rdap.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, "/rdap/domain/google.com");
    EXPECT_EQ(requests[1].target, "/rdap/domain/GOOGLE.COM");
    EXPECT_EQ(requests[1].Header("Accept"), "application/rdap+json, application/json");
}

// A registrar whose answer is no record: the registry's stays, with a line saying why.
struct RegistrarFailureCase : test::NamedCase {
    std::function<HttpsReply()> reply; // nothing: the link leads to a port that refuses
    const char* line;                  // UTF-8, after the registry's answer and a blank line
};

class RegistrarFailureTest : public RegistrarTest,
                             public testing::WithParamInterface<RegistrarFailureCase> {};

TEST_P(RegistrarFailureTest, RegistrysAnswerStaysWithTheReason)
{
    const RegistrarFailureCase& c = GetParam();
    test::RefusingPort refusingRegistrar;
    if (c.reply) {
        rdap.Serve("/rdap/domain/GOOGLE.COM", c.reply());
    } else {
        const std::string refusedBase =
            "https://127.0.0.1:" + std::to_string(refusingRegistrar.Port()) + "/";
        registryJson = ReplaceAll(registryJson, registrarBase, refusedBase);
        rdap.Serve("/rdap/domain/google.com", Respond(200, registryJson));
    }
    Start();

    ASSERT_TRUE(Run());
    std::string expected = *RdapToText(registryJson, registryUrl);
    if (expected.back() != '\n') {
        expected += '\n';
    }
    std::string line = ReplaceAll(c.line, "PORT", std::to_string(refusingRegistrar.Port()));
    EXPECT_EQ(boxes.result, DecodeResponse(expected + "\n" + line));
    EXPECT_EQ(boxes.server, "localhost");
    EXPECT_EQ(Outcome().json, registryJson);
    EXPECT_TRUE(Outcome().answered);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistrarFailureTest,
    testing::Values(
        RegistrarFailureCase{{"ServerError"},
                             [] { return Respond(500, kErrorBody); },
                             "RDAP 127.0.0.1:\nThe RDAP server answered with HTTP status 500.\n"
                             "Internal error\nTry later.\n"},
        RegistrarFailureCase{{"NotFound"},
                             [] { return Respond(404); },
                             "RDAP 127.0.0.1:\nNo match for \"google.com\".\n"},
        RegistrarFailureCase{{"WebPageInsteadOfRdap"},
                             [] { return Respond(200, "<html>hello</html>", "text/html"); },
                             "RDAP 127.0.0.1: 回答不是 RDAP 格式\n"},
        RegistrarFailureCase{{"Refused"}, nullptr, "RDAP 127.0.0.1: 连接被拒绝\n"}),
    test::CaseName());

TEST_F(RdapLookupTest, WebPageLinkIsNotFollowed)
{
    const std::string json = ReadRdapSample("rdap.apnic.net__ip_1.1.1.1.json");
    ASSERT_NE(json.find(R"("rel":"related")"), std::string::npos);
    rdap.Serve("/rdap/ip/1.1.1.1", Respond(200, json));
    boxes.query = "1.1.1.1";
    Start();

    ASSERT_TRUE(Run());
    EXPECT_EQ(boxes.result, Shown(json, rdap.Url("/rdap/ip/1.1.1.1")));
    EXPECT_EQ(rdap.RequestCount(), 1u);
    EXPECT_EQ(boxes.server, "localhost");
}

TEST_F(RdapLookupTest, UnicodeNameIsAskedForByItsALabel)
{
    boxes.queryUtf8 = "例子.TEST";
    boxes.query = DecodeResponse(boxes.queryUtf8);
    Start();

    ASSERT_TRUE(Run());
    ASSERT_EQ(rdap.RequestCount(), 1u);
    EXPECT_EQ(rdap.Requests()[0].target, "/rdap/domain/xn--fsqu00a.test");
    EXPECT_EQ(boxes.result, DecodeResponse("% RDAP " + rdap.Url("/rdap/domain/xn--fsqu00a.test") +
                                           "\nNo match for \"xn--fsqu00a.test\".\n"));
}

TEST_F(RdapLookupTest, RedirectsAreFollowedAndTheLastServerIsNamed)
{
    const std::string json = DomainJson(kDomainQuery);
    const std::string finalUrl = rdap.Url("/elsewhere/domain/example.test", "127.0.0.1");
    rdap.Serve("/rdap/domain/example.test", RedirectTo("/moved/domain/example.test", 301));
    rdap.Serve("/moved/domain/example.test", RedirectTo(finalUrl, 307));
    rdap.Serve("/elsewhere/domain/example.test", Respond(200, json));
    Start();

    ASSERT_TRUE(Run());
    EXPECT_EQ(boxes.result, Shown(json, finalUrl));
    EXPECT_EQ(boxes.server, "127.0.0.1");
    EXPECT_EQ(rdap.RequestCount(), 3u);
}

struct NotFoundCase : test::NamedCase {
    std::string body;
    const char* lines; // after the first line
};

class RdapNotFoundTest : public RdapLookupTest, public testing::WithParamInterface<NotFoundCase> {};

TEST_P(RdapNotFoundTest, SaysNoMatchWithTheServersWords)
{
    rdap.Serve("/rdap/domain/example.test", Respond(404, GetParam().body));
    Start();

    ASSERT_TRUE(Run());
    EXPECT_EQ(boxes.result, DecodeResponse("% RDAP " + rdap.Url("/rdap/domain/example.test") +
                                           "\n" + GetParam().lines));
    EXPECT_EQ(boxes.server, "localhost");
    EXPECT_TRUE(Outcome().answered);
    EXPECT_EQ(Outcome().json, GetParam().body);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RdapNotFoundTest,
    testing::Values(NotFoundCase{{"WithoutBody"}, "", "No match for \"example.test\".\n"},
                    NotFoundCase{{"WithErrorObject"},
                                 R"({"errorCode": 404, "title": "Not Found",
                                     "description": ["The domain is not registered.",
                                                     "Try another."]})",
                                 "No match for \"example.test\".\nNot Found\n"
                                 "The domain is not registered.\nTry another.\n"}),
    test::CaseName());

TEST_F(RdapLookupTest, TooManyRequestsIsAskedAgainOnceAfterTheWait)
{
    const std::string json = DomainJson(kDomainQuery);
    rdap.Serve("/rdap/domain/example.test", {test::TooManyRequests("1"), Respond(200, json)});
    Start();

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Run());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 900ms) << "Retry-After is kept";
    EXPECT_EQ(boxes.result, Shown(json, rdap.Url("/rdap/domain/example.test")));
    EXPECT_EQ(rdap.RequestCount(), 2u);
}

TEST_F(RdapLookupTest, TooManyRequestsTwiceFailsWithTheReasonAfterABoundedWait)
{
    rdap.Serve("/rdap/domain/example.test", test::TooManyRequests("3600"));
    LookupSession::Options options = Options();
    options.rdap.longestRetryWait = 300ms;
    Start(std::move(options));

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Run());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "the wait is bounded";
    EXPECT_EQ(rdap.RequestCount(), 2u);
    EXPECT_EQ(boxes.result,
              DecodeResponse(kNoServerLines +
                             "RDAP localhost:\nThe RDAP server answered with HTTP status 429.\n"));
    EXPECT_FALSE(Outcome().answered);
}

// Every way the registry's RDAP server can fail before it answers.
enum class Peer {
    Trusted,       // the test's server, with a certificate for localhost
    UnknownIssuer, // a certificate for localhost from an authority nobody trusts
    OtherName,     // a trusted certificate for another name
    Refusing,      // a port nothing listens on
    Hanging,       // a listener whose connections never complete
};

struct TransportCase : test::NamedCase {
    Peer peer;
    std::function<HttpsReply(const LoopbackHttpsServer&)> reply;
    const char* host;   // in the failure line
    const char* reason; // UTF-8
};

class RdapTransportTest : public RdapLookupTest,
                          public testing::WithParamInterface<TransportCase> {};

TEST_P(RdapTransportTest, FailureLineNamesTheServerAndTheReason)
{
    const TransportCase& c = GetParam();
    std::unique_ptr<LoopbackHttpsServer> other;
    test::RefusingPort refusingRdap;
    test::FullBacklogListener hanging;
    switch (c.peer) {
    case Peer::Trusted:
        rdap.Serve("/rdap/domain/example.test", c.reply(rdap));
        break;
    case Peer::UnknownIssuer:
    case Peer::OtherName:
        other = std::make_unique<LoopbackHttpsServer>(c.peer == Peer::OtherName
                                                          ? TestCertificates::Get().otherName
                                                          : TestCertificates::Get().unknownIssuer);
        ASSERT_TRUE(other->Listening());
        other->Serve("/rdap/domain/example.test", Respond(200, DomainJson(kDomainQuery)));
        rdapBase = other->Url("/rdap/");
        break;
    case Peer::Refusing:
        rdapBase = "https://127.0.0.1:" + std::to_string(refusingRdap.Port()) + "/rdap/";
        break;
    case Peer::Hanging:
        if (!hanging.Full()) {
            GTEST_SKIP() << "connections to a full listener do not hang here";
        }
        rdapBase = "https://127.0.0.1:" + std::to_string(hanging.Port()) + "/rdap/";
        break;
    }
    LookupSession::Options options = Options();
    options.rdap.connectTimeout = 500ms;
    options.rdap.totalTimeout = 1500ms;
    Start(std::move(options));

    ASSERT_TRUE(Run());
    EXPECT_EQ(boxes.result,
              DecodeResponse(kNoServerLines + "RDAP " + c.host + ": " + c.reason + "\n"));
    EXPECT_FALSE(Outcome().answered);
    EXPECT_EQ(boxes.server, kIana) << "no RDAP answer is shown";
    if (other) {
        EXPECT_EQ(other->RequestCount(), 0u) << "nothing is asked of an unverified server";
    }
}

HttpsReply Slow(const LoopbackHttpsServer&)
{
    HttpsReply reply = Respond(200, DomainJson(kDomainQuery));
    reply.delay = 5s;
    return reply;
}

HttpsReply Oversized(const LoopbackHttpsServer&)
{
    std::string json = DomainJson(kDomainQuery);
    json.insert(json.size() - 1, R"(, "remarks": [{"description": [")" +
                                     std::string((std::size_t{4} << 20), 'x') + R"("]}])");
    return Respond(200, json);
}

HttpsReply Endless(const LoopbackHttpsServer&)
{
    HttpsReply reply = Respond(200, "{\"objectClassName\": \"domain\", \"remarks\": \"");
    reply.endless = true;
    return reply;
}

HttpsReply ToPlainHttp(const LoopbackHttpsServer& server)
{
    return RedirectTo("http://localhost:" + std::to_string(server.Port()) + "/plain");
}

HttpsReply ToItself(const LoopbackHttpsServer&)
{
    return RedirectTo("/rdap/domain/example.test");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RdapTransportTest,
    testing::Values(
        TransportCase{{"SlowAnswer"}, Peer::Trusted, Slow, "localhost", "20 秒内未收到完整回答"},
        TransportCase{{"AnswerOver4MiB"}, Peer::Trusted, Oversized, "localhost", "回答超过 4 MiB"},
        TransportCase{{"EndlessAnswer"}, Peer::Trusted, Endless, "localhost", "回答超过 4 MiB"},
        TransportCase{{"RedirectToPlainHttp"},
                      Peer::Trusted,
                      ToPlainHttp,
                      "localhost",
                      "地址不是 https://，未使用（只用 https）"},
        TransportCase{
            {"EndlessRedirects"}, Peer::Trusted, ToItself, "localhost", "重定向超过 5 次"},
        TransportCase{{"UnknownAuthority"},
                      Peer::UnknownIssuer,
                      nullptr,
                      "localhost",
                      "证书无法验证（签发机构不受信任）"},
        TransportCase{{"CertificateForAnotherName"},
                      Peer::OtherName,
                      nullptr,
                      "localhost",
                      "证书不属于该服务器名称"},
        TransportCase{{"Refused"}, Peer::Refusing, nullptr, "127.0.0.1", "连接被拒绝"},
        TransportCase{{"ConnectionHangs"}, Peer::Hanging, nullptr, "127.0.0.1", "10 秒内未能连接"}),
    test::CaseName());

// Addresses and AS numbers keep to port 43 while it answers, even briefly.
struct NumberCase : test::NamedCase {
    const char* query;
    bool port43Answers;
    const char* target;
    const char* sample;
};

class RdapNumberTest : public RdapLookupTest, public testing::WithParamInterface<NumberCase> {};

TEST_P(RdapNumberTest, RdapOnlyAfterPort43Failed)
{
    const NumberCase& c = GetParam();
    const std::string port43Answer = "NetRange: 1.0.0.0 - 1.255.255.255\n";
    if (c.port43Answers) {
        resolver.Add(kIana, kIanaAddress1);
        resolver.Add("whois.arin.net", kArinAddress);
        Whois(kIanaAddress1, {Answer("refer:        whois.arin.net\n")});
        Whois(kArinAddress, {Answer(port43Answer)});
    }
    const std::string json = ReadRdapSample(c.sample);
    rdap.Serve(c.target, Respond(200, json));
    boxes.query = c.query;
    Start();

    ASSERT_TRUE(Run());
    if (c.port43Answers) {
        EXPECT_EQ(boxes.result, port43Answer);
        EXPECT_EQ(rdap.RequestCount(), 0u);
    } else {
        EXPECT_EQ(boxes.result, Shown(json, rdap.Url(c.target)));
        ASSERT_EQ(rdap.RequestCount(), 1u);
        EXPECT_EQ(rdap.Requests()[0].target, c.target);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RdapNumberTest,
                         testing::Values(NumberCase{{"IpPort43Answers"},
                                                    "1.1.1.1",
                                                    true,
                                                    "/rdap/ip/1.1.1.1",
                                                    "rdap.apnic.net__ip_1.1.1.1.json"},
                                         NumberCase{{"IpPort43Fails"},
                                                    "1.1.1.1",
                                                    false,
                                                    "/rdap/ip/1.1.1.1",
                                                    "rdap.apnic.net__ip_1.1.1.1.json"},
                                         NumberCase{{"AsPort43Answers"},
                                                    "AS13335",
                                                    true,
                                                    "/rdap/autnum/13335",
                                                    "rdap.arin.net__autnum_13335.json"},
                                         NumberCase{{"AsPort43Fails"},
                                                    "as13335",
                                                    false,
                                                    "/rdap/autnum/13335",
                                                    "rdap.arin.net__autnum_13335.json"}),
                         test::CaseName());

// A registry's port-43 server that never takes the connection: RDAP's record is shown well
// within the bound, and the next lookup of the TLD goes to RDAP at once.
TEST_F(RdapLookupTest, HangingPort43GivesWayToRdapAndRdapIsAskedFirstAfterwards)
{
    test::FullBacklogListener hanging;
    if (!hanging.Full()) {
        GTEST_SKIP() << "connections to a full listener do not hang here";
    }
    resolver.Add(kTestRegistry, "127.0.0.1");
    const std::string json = DomainJson(kDomainQuery);
    rdap.Serve("/rdap/domain/example.test", Respond(200, json));
    rdap.Serve("/rdap/domain/other.test", Respond(200, DomainJson("other.test")));
    LookupSession::Options options = Options();
    options.limits.whoisPort = hanging.Port();
    options.connectTimeout = TcpClient::kConnectTimeout;
    Start(std::move(options));

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Run());
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, 5s);
    EXPECT_GE(took, 2900ms) << "port 43 has its patience first";
    EXPECT_EQ(boxes.result, Shown(json, rdap.Url("/rdap/domain/example.test")));
    EXPECT_EQ(boxes.server, "localhost");
    EXPECT_EQ(RouteCache(routeFile).ServerFor("test"), std::optional<std::string>(kRdapRoute));

    boxes.query = "other.test";
    const std::size_t askedBefore = observer.asked.size();
    const auto again = std::chrono::steady_clock::now();
    ASSERT_TRUE(Run());
    EXPECT_LT(std::chrono::steady_clock::now() - again, 2s);
    ASSERT_EQ(observer.asked.size(), askedBefore + 1) << "RDAP alone";
    EXPECT_EQ(observer.asked.back(), rdap.Url("/rdap/domain/other.test"));
    EXPECT_EQ(boxes.result, Shown(DomainJson("other.test"), rdap.Url("/rdap/domain/other.test")));
}

TEST_F(RdapLookupTest, ServiceOfferedOverPlainHttpOnlyIsNotUsed)
{
    // The bootstrap data names an http:// server only, as IANA's does for a few TLDs.
    LookupSession::Options options = Options();
    RdapDirectory directory(std::span<const RdapOverride>{});
    directory.Replace(*RdapBootstrap::Parse(
        RdapRegistry::Domain,
        BootstrapJson({{{"test"}, "http://127.0.0.1:" + std::to_string(rdap.Port()) + "/rdap/"}})));
    options.rdapDirectory = std::move(directory);
    Start(std::move(options));

    ASSERT_TRUE(Run());
    EXPECT_EQ(boxes.result,
              DecodeResponse(kNoServerLines + "RDAP 127.0.0.1:" + std::to_string(rdap.Port()) +
                             ": 地址不是 https://，未使用（只用 https）\n"));
    EXPECT_EQ(rdap.RequestCount(), 0u);
    EXPECT_EQ(rdap.ConnectionCount(), 0u);
}

TEST_F(RdapLookupTest, HangingPort43AndFailingRdapAreBothExplained)
{
    test::FullBacklogListener hanging;
    if (!hanging.Full()) {
        GTEST_SKIP() << "connections to a full listener do not hang here";
    }
    resolver.Add(kTestRegistry, "127.0.0.1");
    rdap.Serve("/rdap/domain/example.test", Respond(500, kErrorBody));
    LookupSession::Options options = Options();
    options.limits.whoisPort = hanging.Port();
    options.limits.port43Patience = 300ms;
    options.connectTimeout = TcpClient::kConnectTimeout;
    Start(std::move(options));

    ASSERT_TRUE(Run());
    // With RDAP failing too, the port-43 route goes on to IANA's server, which is not found.
    EXPECT_EQ(boxes.result,
              DecodeResponse(FailureLine(kTestRegistry, "3 秒内未能连接，改用 RDAP") +
                             FailureLine(kIana, "找不到该服务器名称") + kRdapServerError));
    EXPECT_FALSE(Outcome().answered);
    EXPECT_EQ(RouteCache(routeFile).ServerFor("test"), std::nullopt);
}

TEST_F(RdapLookupTest, NewQueryAbandonsTheRdapAnswerStillToCome)
{
    HttpsReply slow = Respond(200, DomainJson(kDomainQuery));
    slow.delay = 1s;
    rdap.Serve("/rdap/domain/example.test", slow);
    rdap.Serve("/rdap/domain/other.test", Respond(200, DomainJson("other.test")));
    Start();

    session->RunQuery();
    ASSERT_TRUE(loop.RunUntil([&] { return rdap.RequestCount() == 1; }, kDeadline));
    boxes.query = "other.test";
    ASSERT_TRUE(Run());
    const Text shown = Shown(DomainJson("other.test"), rdap.Url("/rdap/domain/other.test"));
    EXPECT_EQ(boxes.result, shown);
    // The first request's connection is gone, so its answer can never come; the second's
    // stays open for reuse.
    ASSERT_TRUE(loop.RunUntil([&] { return rdap.OpenConnectionCount() <= 1; }, kDeadline));
    EXPECT_EQ(boxes.result, shown);
    EXPECT_EQ(observer.finished.size(), 1u);
    EXPECT_FALSE(session->InFlight());
}

TEST_F(RdapLookupTest, RememberedRdapThatFailsGivesPort43ItsTurnAgain)
{
    const std::string record = AnswerOf(300);
    resolver.Add(kTestRegistry, kRegistryAddress1);
    LoopbackWhoisServer& registry = Whois(kRegistryAddress1, {Answer(record)});
    rdap.Serve("/rdap/domain/example.test", Respond(500, kErrorBody));
    RouteCache(routeFile).Remember("test", kRdapRoute);
    Start();

    ASSERT_TRUE(Run());
    EXPECT_EQ(rdap.RequestCount(), 1u);
    EXPECT_EQ(registry.Received(0), "example.test\r\n");
    EXPECT_EQ(boxes.result, record);
    EXPECT_EQ(boxes.server, kTestRegistry);
    EXPECT_EQ(RouteCache(routeFile).ServerFor("test"), std::nullopt);
}

} // namespace
} // namespace whois
