#pragma once

#include "http/HttpClient.h"
#include "net/PollEventLoop.h"
#include "support/LoopbackHttpsServer.h"
#include "support/TestCertificateAuthority.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>

namespace whois {

inline void PrintTo(HttpFailure failure, std::ostream* out)
{
    *out << HttpFailureName(failure);
}

namespace test {

// Certificates made once per test program: a trusted authority with certificates for the
// loopback names and for another name, and an unrelated authority nobody trusts.
struct TestCertificates {
    TestCertificateAuthority authority;
    TestCertificateAuthority stranger{"unrelated test authority"};
    ServerCertificate localhost = authority.Issue({"localhost", "127.0.0.1", "::1"});
    ServerCertificate otherName = authority.Issue({"other.example"});
    ServerCertificate unknownIssuer = stranger.Issue({"localhost", "127.0.0.1", "::1"});

    static TestCertificates& Get()
    {
        static TestCertificates certificates;
        return certificates;
    }
};

// A poll loop, a trusted loopback HTTPS server and a client on the loop.
class HttpsFixture : public testing::Test {
  protected:
    static constexpr auto kDeadline = std::chrono::seconds{15};

    void SetUp() override
    {
        ASSERT_TRUE(TestCertificates::Get().authority.Valid());
        ASSERT_TRUE(server.Listening());
    }

    // A request for `url` that trusts the test authority, with time-outs a test never reaches
    // unless it means to.
    static HttpRequest Request(std::string url)
    {
        HttpRequest request;
        request.url = std::move(url);
        request.caFile = TestCertificates::Get().authority.CaFile();
        request.connectTimeout = std::chrono::seconds{5};
        request.totalTimeout = std::chrono::seconds{10};
        return request;
    }

    // Runs the loop until `request` is answered.
    HttpResponse Fetch(HttpRequest request)
    {
        std::optional<HttpResponse> response;
        client.Get(std::move(request), [&](HttpResponse r) { response = std::move(r); });
        EXPECT_TRUE(loop.RunUntil([&] { return response.has_value(); }, kDeadline));
        if (!response) {
            response.emplace();
            response->failure = HttpFailure::Other;
            response->detail = "no answer in time";
        }
        return *response;
    }

    PollEventLoop loop;
    LoopbackHttpsServer server{TestCertificates::Get().localhost};
    HttpClient client{loop};
};

} // namespace test
} // namespace whois
