#include "http/HttpClient.h"

#include "HttpsFixture.h"
#include "support/CaseName.h"
#include "support/LoopbackWhoisServer.h"
#include "support/RefusingPort.h"

#include <gtest/gtest.h>

#include <functional>

namespace whois {
namespace {

using namespace std::chrono_literals;
using test::HttpsReply;
using test::LoopbackHttpsServer;
using test::RedirectTo;
using test::Respond;
using test::ServerCertificate;
using test::TestCertificates;

// What the server is told to do for "/start" (and whatever it leads to), how the request is
// shaped, and what comes back.
struct ExchangeCase : test::NamedCase {
    std::function<void(LoopbackHttpsServer&)> script;
    std::function<void(HttpRequest&)> shape;
    HttpFailure failure;
    long status;
    std::size_t requestsSeen;
};

class HttpClientExchangeTest : public test::HttpsFixture,
                               public testing::WithParamInterface<ExchangeCase> {};

TEST_P(HttpClientExchangeTest, EndsAsExpected)
{
    const ExchangeCase& row = GetParam();
    row.script(server);
    HttpRequest request = Request(server.Url("/start"));
    if (row.shape) {
        row.shape(request);
    }

    const HttpResponse response = Fetch(request);

    EXPECT_EQ(response.failure, row.failure) << response.detail;
    EXPECT_EQ(response.failure == HttpFailure::None, response.detail.empty()) << response.detail;
    EXPECT_EQ(response.status, row.status);
    EXPECT_LE(response.body.size(), request.maxBodyBytes);
    EXPECT_EQ(server.RequestCount(), row.requestsSeen);
    EXPECT_LT(response.elapsed, 5s);
}

// A chain of `hops` redirects from "/start" to "/end", which answers 200.
void RedirectChain(LoopbackHttpsServer& server, int hops)
{
    for (int hop = 0; hop < hops; ++hop) {
        const std::string from = hop == 0 ? "/start" : "/hop" + std::to_string(hop);
        const std::string to = hop + 1 == hops ? "/end" : "/hop" + std::to_string(hop + 1);
        server.Serve(from, RedirectTo(to));
    }
    server.Serve("/end", Respond(200, "end", "text/plain"));
}

HttpsReply Delayed(std::chrono::milliseconds delay)
{
    HttpsReply reply = Respond(200, "late", "text/plain");
    reply.delay = delay;
    return reply;
}

HttpsReply Endless()
{
    HttpsReply reply = Respond(200, "", "text/plain");
    reply.endless = true;
    return reply;
}

HttpsReply CutShort()
{
    HttpsReply reply = Respond(200, std::string(10'000, 'x'), "text/plain");
    reply.cutShort = true;
    return reply;
}

void SmallCap(HttpRequest& request)
{
    request.maxBodyBytes = 1000;
}

void ShortTotal(HttpRequest& request)
{
    request.totalTimeout = 300ms;
}

INSTANTIATE_TEST_SUITE_P(
    Exchanges, HttpClientExchangeTest,
    testing::Values(
        ExchangeCase{{"FiveRedirectsFollowed"},
                     [](auto& s) { RedirectChain(s, 5); },
                     nullptr,
                     HttpFailure::None,
                     200,
                     6},
        ExchangeCase{{"SixRedirectsRefused"},
                     [](auto& s) { RedirectChain(s, 6); },
                     nullptr,
                     HttpFailure::TooManyRedirects,
                     302,
                     6},
        ExchangeCase{{"RedirectsOffMeansNone"},
                     [](auto& s) { RedirectChain(s, 1); },
                     [](HttpRequest& r) { r.maxRedirects = 0; },
                     HttpFailure::None,
                     302,
                     1},
        ExchangeCase{{"RedirectToHttpRefused"},
                     [](auto& s) {
                         s.Serve("/start", RedirectTo("http://localhost:" +
                                                      std::to_string(s.Port()) + "/end"));
                     },
                     nullptr,
                     HttpFailure::NotHttps,
                     302,
                     1},
        ExchangeCase{{"SlowAnswerHitsTotalTimeout"},
                     [](auto& s) { s.Serve("/start", Delayed(3s)); },
                     ShortTotal,
                     HttpFailure::TimedOut,
                     0,
                     1},
        ExchangeCase{{"AnnouncedBodyOverCap"},
                     [](auto& s) { s.Serve("/start", Respond(200, std::string(1001, 'x'))); },
                     SmallCap,
                     HttpFailure::TooLarge,
                     200,
                     1},
        ExchangeCase{{"BodyAtCapKept"},
                     [](auto& s) { s.Serve("/start", Respond(200, std::string(1000, 'x'))); },
                     SmallCap,
                     HttpFailure::None,
                     200,
                     1},
        ExchangeCase{{"EndlessBodyOverCap"},
                     [](auto& s) { s.Serve("/start", Endless()); },
                     SmallCap,
                     HttpFailure::TooLarge,
                     200,
                     1},
        ExchangeCase{{"BodyCutShort"},
                     [](auto& s) { s.Serve("/start", CutShort()); },
                     nullptr,
                     HttpFailure::Reset,
                     200,
                     1}),
    test::CaseName{});

// Which certificate the server shows, and the name the client asks for.
struct CertificateCase : test::NamedCase {
    ServerCertificate TestCertificates::*certificate;
    const char* host;
    HttpFailure failure;
};

class HttpClientCertificateTest : public test::HttpsFixture,
                                  public testing::WithParamInterface<CertificateCase> {};

TEST_P(HttpClientCertificateTest, IsVerified)
{
    const CertificateCase& row = GetParam();
    LoopbackHttpsServer shown(TestCertificates::Get().*row.certificate);
    ASSERT_TRUE(shown.Listening());
    shown.Serve("/", Respond(200, "secret", "text/plain"));

    const HttpResponse response = Fetch(Request(shown.Url("/", row.host)));

    EXPECT_EQ(response.failure, row.failure) << response.detail;
    if (row.failure != HttpFailure::None) {
        EXPECT_FALSE(response.detail.empty());
        EXPECT_TRUE(response.body.empty());
        EXPECT_EQ(shown.RequestCount(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Certificates, HttpClientCertificateTest,
                         testing::Values(CertificateCase{{"TrustedByName"},
                                                         &TestCertificates::localhost,
                                                         "localhost",
                                                         HttpFailure::None},
                                         CertificateCase{{"TrustedByAddress"},
                                                         &TestCertificates::localhost,
                                                         "127.0.0.1",
                                                         HttpFailure::None},
                                         CertificateCase{{"UnknownAuthority"},
                                                         &TestCertificates::unknownIssuer,
                                                         "localhost",
                                                         HttpFailure::TlsCertificate},
                                         CertificateCase{{"IssuedForAnotherName"},
                                                         &TestCertificates::otherName,
                                                         "localhost",
                                                         HttpFailure::TlsHostname},
                                         CertificateCase{{"IssuedForAnotherAddress"},
                                                         &TestCertificates::otherName,
                                                         "127.0.0.1",
                                                         HttpFailure::TlsHostname}),
                         test::CaseName{});

// URLs turned down before any connection; the answer still comes from the loop.
struct RejectedUrlCase : test::NamedCase {
    const char* url;
    HttpFailure failure;
};

class HttpClientRejectedUrlTest : public test::HttpsFixture,
                                  public testing::WithParamInterface<RejectedUrlCase> {};

TEST_P(HttpClientRejectedUrlTest, IsAnsweredFromTheLoop)
{
    std::optional<HttpResponse> response;
    client.Get(Request(GetParam().url), [&](HttpResponse r) { response = std::move(r); });
    EXPECT_FALSE(response.has_value());

    ASSERT_TRUE(loop.RunUntil([&] { return response.has_value(); }, kDeadline));
    EXPECT_EQ(response->failure, GetParam().failure);
    EXPECT_FALSE(response->detail.empty());
    EXPECT_EQ(response->status, 0);
    EXPECT_EQ(client.ActiveCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, HttpClientRejectedUrlTest,
    testing::Values(RejectedUrlCase{{"PlainHttp"}, "http://127.0.0.1/", HttpFailure::NotHttps},
                    RejectedUrlCase{{"Ftp"}, "ftp://127.0.0.1/file", HttpFailure::NotHttps},
                    RejectedUrlCase{{"NoScheme"}, "not a url", HttpFailure::InvalidUrl},
                    RejectedUrlCase{{"Empty"}, "", HttpFailure::InvalidUrl},
                    RejectedUrlCase{{"NoHost"}, "https://", HttpFailure::InvalidUrl}),
    test::CaseName{});

using HttpClientConnectTest = test::HttpsFixture;

TEST_F(HttpClientConnectTest, ClosedPortIsRefused)
{
    const test::RefusingPort port;
    ASSERT_NE(port.Port(), 0);

    const HttpResponse response =
        Fetch(Request("https://127.0.0.1:" + std::to_string(port.Port()) + "/"));

    EXPECT_EQ(response.failure, HttpFailure::Refused) << response.detail;
    EXPECT_EQ(response.status, 0);
}

// A TCP peer that accepts and never speaks TLS: the handshake never ends.
TEST_F(HttpClientConnectTest, SilentPeerHitsConnectTimeout)
{
    test::LoopbackWhoisServer silent({test::Silent()});
    ASSERT_TRUE(silent.Listening());
    HttpRequest request = Request("https://127.0.0.1:" + std::to_string(silent.Port()) + "/");
    request.connectTimeout = 300ms;

    const HttpResponse response = Fetch(request);

    EXPECT_EQ(response.failure, HttpFailure::ConnectTimedOut) << response.detail;
    EXPECT_LT(response.elapsed, 3s);
    EXPECT_TRUE(silent.WaitForConnection(0, [](const test::ConnectionRecord&) { return true; }));
}

} // namespace
} // namespace whois
