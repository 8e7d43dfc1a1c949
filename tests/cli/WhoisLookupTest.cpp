// The real whois-lookup binary against whois servers on loopback addresses sharing a port.
#include "support/CaseName.h"
#include "support/ChildProcess.h"
#include "support/LoopbackWhoisServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace whois {
namespace {

using test::Answer;
using test::LoopbackWhoisServer;

// A record with Chinese text, as a server sends it in UTF-8.
const std::string kRecord = "Domain Name: example.com\r\nRegistrant: 示例公司\r\n";

class WhoisLookupTest : public testing::Test {
  protected:
    LoopbackWhoisServer& Serve(const char* address, std::vector<test::ConnectionScript> scripts)
    {
        const std::uint16_t shared = servers.empty() ? 0 : servers.front()->Port();
        servers.push_back(std::make_unique<LoopbackWhoisServer>(std::move(scripts), shared,
                                                                std::chrono::seconds{30}, address));
        EXPECT_TRUE(servers.back()->Listening());
        return *servers.back();
    }

    std::string Port() const { return std::to_string(servers.front()->Port()); }

    test::ChildResult Run(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), WHOIS_LOOKUP_PATH);
        // Port 43 only unless a test asks for RDAP: RDAP's servers are not on loopback.
        if (std::find(arguments.begin(), arguments.end(), "--rdap") == arguments.end()) {
            arguments.insert(arguments.begin() + 1, "--no-rdap");
        }
        return test::RunChild(arguments, {"XDG_CACHE_HOME=" + testing::TempDir()});
    }

    std::vector<std::unique_ptr<LoopbackWhoisServer>> servers;
};

TEST_F(WhoisLookupTest, PrintsTheAnswerAsTheServerSentIt)
{
    LoopbackWhoisServer& server = Serve("127.0.0.1", {Answer(kRecord)});

    const test::ChildResult result =
        Run({"-h", "127.0.0.1", "-p", Port(), "https://www.Example.COM/path"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, kRecord);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(server.Received(0), "example.com\r\n");
}

TEST_F(WhoisLookupTest, FollowsTheReferralUnlessToldNotTo)
{
    const std::string registryAnswer = "Domain Name: EXAMPLE.COM\r\n" + std::string(200, 'x') +
                                       "\r\nRegistrar WHOIS Server: 127.0.0.2\r\n";
    // Long enough that the registry's answer does not come back in its place.
    const std::string registrarAnswer = kRecord + std::string(100, 'y') + "\r\n";
    Serve("127.0.0.1", {Answer(registryAnswer)});
    Serve("127.0.0.2", {Answer(registrarAnswer)});

    const test::ChildResult followed = Run({"-h", "127.0.0.1", "-p", Port(), "example.com"});
    EXPECT_EQ(followed.exitStatus, 0) << followed.err;
    EXPECT_EQ(followed.out, registrarAnswer);

    const test::ChildResult first =
        Run({"--no-follow", "-h", "127.0.0.1", "-p", Port(), "example.com"});
    EXPECT_EQ(first.exitStatus, 0) << first.err;
    EXPECT_EQ(first.out, registryAnswer);
    EXPECT_EQ(servers[1]->ConnectionCount(), 1u);
}

TEST_F(WhoisLookupTest, SeveralQueriesAreSeparatedByABlankLine)
{
    Serve("127.0.0.1", {Answer("first\n"), Answer("second")});

    const test::ChildResult result = Run({"-h", "127.0.0.1", "-p", Port(), "a.com", "b.com"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "first\n\nsecond\n");
    EXPECT_EQ(servers[0]->Received(1), "b.com\r\n");
}

TEST_F(WhoisLookupTest, NoAnswerNamesEveryServerAndItsReason)
{
    Serve("127.0.0.1", {Answer("unused")});

    // Nothing listens on 127.0.0.9 or 127.0.0.10.
    const test::ChildResult result =
        Run({"-h", "127.0.0.9", "--iana-server", "127.0.0.10", "-p", Port(), "example.com"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "whois-lookup: no answer for \"example.com\"\n"
                          "whois-lookup: 127.0.0.9: connection refused\n"
                          "whois-lookup: 127.0.0.10: connection refused\n");
}

TEST_F(WhoisLookupTest, OneQueryWithoutAnAnswerMakesTheStatusOne)
{
    Serve("127.0.0.1", {Answer(kRecord)});

    const test::ChildResult result =
        Run({"-h", "127.0.0.1", "-p", Port(), "--iana-server", "127.0.0.10", "example.com", "-h",
             "127.0.0.9", "example.org"});
    // The last -h wins for every query.
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
}

TEST_F(WhoisLookupTest, VerboseReportsEachStepOnStandardError)
{
    Serve("127.0.0.1", {Answer(kRecord)});

    const test::ChildResult result =
        Run({"--verbose", "-h", "127.0.0.1", "-p", Port(), "example.com"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, kRecord);
    EXPECT_NE(result.err.find("asking 127.0.0.1 (the server given)"), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find(std::to_string(kRecord.size()) + " bytes, closed by the server"),
              std::string::npos)
        << result.err;
}

struct UsageCase : test::NamedCase {
    std::vector<std::string> arguments;
    int status;
    const char* outContains;
    const char* errContains;
};

class WhoisLookupUsageTest : public WhoisLookupTest,
                             public testing::WithParamInterface<UsageCase> {};

TEST_P(WhoisLookupUsageTest, AnswersBadUsageWithAClearMessage)
{
    const UsageCase& c = GetParam();
    const test::ChildResult result = Run(c.arguments);
    EXPECT_EQ(result.exitStatus, c.status) << result.err;
    EXPECT_NE(result.out.find(c.outContains), std::string::npos) << result.out;
    EXPECT_NE(result.err.find(c.errContains), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WhoisLookupUsageTest,
    testing::Values(
        UsageCase{{"Help"}, {"--help"}, 0, "Usage: whois-lookup", ""},
        UsageCase{{"Version"}, {"--version"}, 0, "whois-lookup ", ""},
        UsageCase{{"NoQuery"}, {}, 2, "", "no query given"},
        UsageCase{{"UnknownOption"}, {"--colour", "a.com"}, 2, "", "unknown option '--colour'"},
        UsageCase{{"PortNotANumber"}, {"-p", "abc", "a.com"}, 2, "", "bad port 'abc'"},
        UsageCase{{"PortOutOfRange"}, {"-p", "70000", "a.com"}, 2, "", "bad port '70000'"},
        UsageCase{{"HostWithoutValue"}, {"a.com", "-h"}, 2, "", "option -h needs a value"},
        UsageCase{{"EmptyQuery"}, {"  "}, 2, "", "an empty query was given"}),
    test::CaseName());

} // namespace
} // namespace whois
