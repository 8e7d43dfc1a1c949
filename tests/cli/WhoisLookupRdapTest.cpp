// The real whois-lookup binary asking RDAP only, of an HTTPS server on loopback that its
// cached bootstrap data names: the data is fresh, so nothing is fetched from anywhere else.
#include "support/CaseName.h"
#include "support/ChildProcess.h"
#include "support/LoopbackHttpsServer.h"
#include "support/TestCertificateAuthority.h"

#include "rdap/RdapText.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace whois {
namespace {

namespace fs = std::filesystem;

const std::string kJson = R"({"objectClassName": "domain", "ldhName": "example.test",
  "status": ["active"], "events": [{"eventAction": "registration",
  "eventDate": "2001-02-03T04:05:06Z"}]})";

class WhoisLookupRdapTest : public testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(authority.Valid());
        ASSERT_TRUE(server.Listening());
        static int made = 0;
        cacheHome =
            fs::path(testing::TempDir()) /
            ("whois-lookup-rdap-" + std::to_string(::getpid()) + "-" + std::to_string(++made));
        fs::remove_all(cacheHome);
        const fs::path rdapCache = cacheHome / "whois-desktop" / "rdap";
        fs::create_directories(rdapCache);
        std::ofstream(rdapCache / "dns.json")
            << R"({"version": "1.0", "publication": "2099-01-01T00:00:00Z", "services": [)"
            << R"([["test"], [")" << server.Url("/rdap/") << R"("]]]})";
        const auto now = std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::system_clock::now().time_since_epoch());
        std::ofstream(rdapCache / "dns.refreshed") << now.count() << "\n";
        server.Serve("/rdap/domain/example.test", test::Respond(200, kJson));
    }

    void TearDown() override
    {
        EXPECT_FALSE(fs::exists(cacheHome / "whois-desktop" / "rdap" / "dns.failed"))
            << "no refresh was tried";
        fs::remove_all(cacheHome);
    }

    test::ChildResult Run(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), WHOIS_LOOKUP_PATH);
        return test::RunChild(arguments, {"XDG_CACHE_HOME=" + cacheHome.string()});
    }

    test::TestCertificateAuthority authority;
    test::LoopbackHttpsServer server{authority.Issue({"localhost", "127.0.0.1", "::1"})};
    fs::path cacheHome;
};

struct OutputCase : test::NamedCase {
    bool json;
};

class WhoisLookupRdapOutputTest : public WhoisLookupRdapTest,
                                  public testing::WithParamInterface<OutputCase> {};

TEST_P(WhoisLookupRdapOutputTest, PrintsTheRecordOrItsJsonAsReceived)
{
    std::vector<std::string> arguments = {"--rdap", "--ca-file", authority.CaFile()};
    if (GetParam().json) {
        arguments.push_back("--json");
    }
    arguments.push_back("EXAMPLE.test");

    const test::ChildResult result = Run(arguments);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    const std::string url = server.Url("/rdap/domain/example.test");
    EXPECT_EQ(result.out, GetParam().json ? kJson + "\n" : RdapToText(kJson, url).value_or(""));
    EXPECT_EQ(result.err, "");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u) << "the record alone, no bootstrap file";
    EXPECT_EQ(requests[0].target, "/rdap/domain/example.test");
    EXPECT_TRUE(requests[0].Header("User-Agent").starts_with("whois-lookup/"));
}

INSTANTIATE_TEST_SUITE_P(Cases, WhoisLookupRdapOutputTest,
                         testing::Values(OutputCase{{"Json"}, true}, OutputCase{{"Text"}, false}),
                         test::CaseName());

TEST_F(WhoisLookupRdapTest, ServerTheSystemDoesNotTrustIsRefusedWithTheReason)
{
    const test::ChildResult result = Run({"--rdap", "example.test"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("no answer for \"example.test\""), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("RDAP localhost: certificate not trusted (unknown authority)"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(server.RequestCount(), 0u);
}

} // namespace
} // namespace whois
