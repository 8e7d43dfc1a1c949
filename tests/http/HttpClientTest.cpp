#include "http/HttpClient.h"

#include "HttpsFixture.h"
#include "support/OpenDescriptors.h"
#include "support/RefusingPort.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace whois {
namespace {

using namespace std::chrono_literals;
using test::HttpsReply;
using test::LoopbackHttpsServer;
using test::RedirectTo;
using test::Respond;
using test::TestCertificates;

constexpr const char* kRdapJson = "application/rdap+json";
const std::string kDomainJson = R"({"objectClassName":"domain","ldhName":"example.com"})";

using HttpClientTest = test::HttpsFixture;

TEST_F(HttpClientTest, AnswerCarriesBodyTypeAndWhere)
{
    server.Serve("/domain/example.com", Respond(200, kDomainJson, kRdapJson));

    const HttpResponse response = Fetch(Request(server.Url("/domain/example.com")));

    EXPECT_EQ(response.failure, HttpFailure::None) << response.detail;
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, kDomainJson);
    EXPECT_EQ(response.contentType, kRdapJson);
    EXPECT_EQ(response.effectiveUrl, server.Url("/domain/example.com"));
    EXPECT_EQ(response.host, "localhost");
    EXPECT_FALSE(response.retryAfter.has_value());
    EXPECT_GT(response.elapsed.count(), 0);
}

TEST_F(HttpClientTest, SendsAcceptAndUserAgent)
{
    HttpRequest request = Request(server.Url("/domain/example.com?x=1"));
    request.headers = {"Accept: application/rdap+json, application/json"};
    request.userAgent = "whois-desktop/0.1";

    Fetch(request);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/domain/example.com?x=1");
    EXPECT_EQ(requests[0].Header("accept"), "application/rdap+json, application/json");
    EXPECT_EQ(requests[0].Header("User-Agent"), "whois-desktop/0.1");
    EXPECT_EQ(requests[0].Header("Host"), "localhost:" + std::to_string(server.Port()));
}

TEST_F(HttpClientTest, NotFoundKeepsItsBody)
{
    server.Serve("/domain/missing.com",
                 Respond(404, R"({"errorCode":404,"title":"Not Found"})", kRdapJson));

    const HttpResponse response = Fetch(Request(server.Url("/domain/missing.com")));

    EXPECT_EQ(response.failure, HttpFailure::None);
    EXPECT_EQ(response.status, 404);
    EXPECT_EQ(response.body, R"({"errorCode":404,"title":"Not Found"})");
}

TEST_F(HttpClientTest, FollowsRedirectsToAnotherServer)
{
    LoopbackHttpsServer registrar(TestCertificates::Get().localhost);
    registrar.Serve("/domain/example.com", Respond(200, kDomainJson, kRdapJson));
    server.Serve("/domain/example.com", RedirectTo("/moved/example.com", 301));
    server.Serve("/moved/example.com",
                 RedirectTo(registrar.Url("/domain/example.com", "127.0.0.1"), 307));

    const HttpResponse response = Fetch(Request(server.Url("/domain/example.com")));

    EXPECT_EQ(response.failure, HttpFailure::None) << response.detail;
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, kDomainJson);
    EXPECT_EQ(response.effectiveUrl, registrar.Url("/domain/example.com", "127.0.0.1"));
    EXPECT_EQ(response.host, "127.0.0.1");
    EXPECT_EQ(server.RequestCount(), 2u);
    EXPECT_EQ(registrar.RequestCount(), 1u);
}

// The wait comes with the 429; the caller decides to ask again, here from inside `done`.
TEST_F(HttpClientTest, TooManyRequestsGivesTheWaitAndAllowsAnotherTry)
{
    server.Serve("/domain/example.com",
                 {test::TooManyRequests("3"), Respond(200, kDomainJson, kRdapJson)});
    std::vector<HttpResponse> responses;
    std::function<void(HttpResponse)> onDone = [&](HttpResponse response) {
        responses.push_back(std::move(response));
        if (responses.size() == 1) {
            client.Get(Request(server.Url("/domain/example.com")), onDone);
        }
    };

    client.Get(Request(server.Url("/domain/example.com")), onDone);
    ASSERT_TRUE(loop.RunUntil([&] { return responses.size() == 2; }, kDeadline));

    EXPECT_EQ(responses[0].failure, HttpFailure::None);
    EXPECT_EQ(responses[0].status, 429);
    EXPECT_EQ(responses[0].retryAfter, std::optional{3s});
    EXPECT_EQ(responses[1].status, 200);
    EXPECT_EQ(responses[1].body, kDomainJson);
    EXPECT_FALSE(responses[1].retryAfter.has_value());
}

TEST_F(HttpClientTest, ConcurrentRequestsFinishInTheirOwnTime)
{
    HttpsReply slow = Respond(200, "slow", "text/plain");
    slow.delay = 500ms;
    server.Serve("/slow", slow);
    server.Serve("/fast", Respond(200, "fast", "text/plain"));
    std::vector<std::string> bodies;
    const auto keep = [&](HttpResponse response) { bodies.push_back(response.body); };

    client.Get(Request(server.Url("/slow")), keep);
    client.Get(Request(server.Url("/fast")), keep);
    EXPECT_EQ(client.ActiveCount(), 2u);
    ASSERT_TRUE(loop.RunUntil([&] { return bodies.size() == 2; }, kDeadline));

    EXPECT_EQ(bodies, (std::vector<std::string>{"fast", "slow"}));
    EXPECT_EQ(server.ConnectionCount(), 2u);
    EXPECT_EQ(client.ActiveCount(), 0u);
}

TEST_F(HttpClientTest, LoopKeepsRunningTimersWhileAnAnswerIsAwaited)
{
    HttpsReply slow = Respond(200, "late", "text/plain");
    slow.delay = 600ms;
    server.Serve("/slow", slow);
    int ticks = 0;
    std::function<void()> tick = [&] {
        ++ticks;
        loop.StartTimer(20ms, tick);
    };
    loop.StartTimer(20ms, tick);

    const auto started = std::chrono::steady_clock::now();
    std::optional<HttpResponse> response;
    client.Get(Request(server.Url("/slow")), [&](HttpResponse r) { response = std::move(r); });
    const auto afterGet = std::chrono::steady_clock::now();
    ASSERT_TRUE(loop.RunUntil([&] { return response.has_value(); }, kDeadline));

    EXPECT_LT(afterGet - started, 100ms);
    EXPECT_EQ(response->body, "late");
    // 600 ms of 20 ms ticks; a loop blocked on the request would have run none of them.
    EXPECT_GE(ticks, 10);
}

TEST_F(HttpClientTest, CancelledRequestIsNeverAnsweredAndLeavesNothingOpen)
{
    HttpsReply slow = Respond(200, "late", "text/plain");
    slow.delay = 2s;
    server.Serve("/slow", slow);
    // The transport keeps descriptors of its own from its first request on: start it with a
    // request that leaves no connection behind.
    std::optional<HttpResponse> first;
    const test::RefusingPort refusing;
    client.Get(Request("https://127.0.0.1:" + std::to_string(refusing.Port()) + "/"),
               [&](HttpResponse r) { first = std::move(r); });
    ASSERT_TRUE(loop.RunUntil([&] { return first.has_value(); }, kDeadline));
    const std::size_t descriptorsBefore = test::OpenDescriptorCount();
    bool answered = false;

    const auto id =
        client.Get(Request(server.Url("/slow")), [&](HttpResponse) { answered = true; });
    ASSERT_TRUE(loop.RunUntil([&] { return server.RequestCount() == 1; }, kDeadline));
    client.Cancel(id);
    client.Cancel(id);

    EXPECT_TRUE(server.WaitForNoOpenConnection());
    loop.RunFor(200ms);
    EXPECT_FALSE(answered);
    EXPECT_EQ(client.ActiveCount(), 0u);
    EXPECT_EQ(loop.WatchCount(), 0u);
    EXPECT_EQ(test::OpenDescriptorCount(), descriptorsBefore);
}

// Both requests run out of time together, so their ends are usually found in one dispatch:
// the first `done` cancels the other, whose end is then already known but must not be told.
TEST_F(HttpClientTest, DoneMayCancelAnotherRequest)
{
    HttpsReply slow = Respond(200, "late", "text/plain");
    slow.delay = 2s;
    server.Serve("/slow", slow);
    HttpRequest request = Request(server.Url("/slow"));
    request.totalTimeout = 200ms;
    std::vector<HttpClient::RequestId> ids;
    int answers = 0;
    const auto cancelAll = [&](HttpResponse response) {
        ++answers;
        EXPECT_EQ(response.failure, HttpFailure::TimedOut);
        for (const auto id : ids) {
            client.Cancel(id);
        }
    };

    ids.push_back(client.Get(request, cancelAll));
    ids.push_back(client.Get(request, cancelAll));
    ASSERT_TRUE(loop.RunUntil([&] { return answers == 1; }, kDeadline));
    loop.RunFor(300ms);

    EXPECT_EQ(answers, 1);
    EXPECT_EQ(client.ActiveCount(), 0u);
    EXPECT_EQ(loop.WatchCount(), 0u);
}

// The first `done` destroys the client, which drops the other request wherever it was. Both
// requests run out of time together, so their ends are usually found in one dispatch.
TEST_F(HttpClientTest, DoneMayDestroyTheClient)
{
    HttpsReply slow = Respond(200, "late", "text/plain");
    slow.delay = 2s;
    server.Serve("/slow", slow);
    auto owned = std::make_unique<HttpClient>(loop);
    int answers = 0;
    const auto destroy = [&](HttpResponse) {
        ++answers;
        owned.reset();
    };
    HttpRequest request = Request(server.Url("/slow"));
    request.totalTimeout = 200ms;

    owned->Get(request, destroy);
    owned->Get(request, destroy);
    ASSERT_TRUE(loop.RunUntil([&] { return owned == nullptr; }, kDeadline));
    loop.RunFor(300ms);

    EXPECT_EQ(answers, 1);
    EXPECT_EQ(loop.WatchCount(), 0u);
    EXPECT_EQ(loop.TimerCount(), 0u);
}

TEST_F(HttpClientTest, DestroyingTheClientDropsRequestsInFlight)
{
    HttpsReply slow = Respond(200, "late", "text/plain");
    slow.delay = 2s;
    server.Serve("/slow", slow);
    bool answered = false;
    {
        HttpClient doomed(loop);
        doomed.Get(Request(server.Url("/slow")), [&](HttpResponse) { answered = true; });
        ASSERT_TRUE(loop.RunUntil([&] { return server.RequestCount() == 1; }, kDeadline));
        doomed.Get(Request("http://localhost/"), [&](HttpResponse) { answered = true; });
    }

    loop.RunFor(200ms);
    EXPECT_FALSE(answered);
    EXPECT_EQ(loop.WatchCount(), 0u);
    EXPECT_EQ(loop.TimerCount(), 0u);
    EXPECT_TRUE(server.WaitForNoOpenConnection());
}

} // namespace
} // namespace whois
