#include "rdap/RdapErrorText.h"

#include "rdap/RdapSample.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

namespace whois {
namespace {

struct ErrorCase : test::NamedCase {
    int status;
    std::string body;
    std::string asked;
    std::string text;
};

class RdapErrorTextTest : public testing::TestWithParam<ErrorCase> {};

TEST_P(RdapErrorTextTest, TellsTheUserWhatWentWrong)
{
    const ErrorCase& row = GetParam();
    EXPECT_EQ(RdapErrorText(row.status, row.body, row.asked), row.text);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, RdapErrorTextTest,
    testing::Values(
        ErrorCase{
            {"NotFoundWithoutBody"}, 404, "", "example.com", "No match for \"example.com\".\n"},
        ErrorCase{{"NotFoundWithErrorObject"},
                  404,
                  test::ReadRdapSample("rdap.apnic.net__entity_AS5496JP.json"),
                  "AS5496JP",
                  "No match for \"AS5496JP\".\n"
                  "Not Found\n"
                  "The server has not found anything matching the Request-URI.\n"
                  "The syntax used for this request is invalid for this particular server.\n"},
        ErrorCase{{"NotFoundWithWebPage"},
                  404,
                  "<html><body>Not Found</body></html>",
                  "example.com",
                  "No match for \"example.com\".\n"},
        ErrorCase{{"NotImplementedWithErrorObject"},
                  501,
                  test::ReadRdapSample("rdap.db.ripe.net__nameserver_error501.json"),
                  "ns1.example.net",
                  "The RDAP server answered with HTTP status 501.\n"
                  "501 Not Implemented\n"
                  "Nameserver not supported\n"},
        ErrorCase{{"ServerErrorWithoutBody"},
                  503,
                  "",
                  "example.com",
                  "The RDAP server answered with HTTP status 503.\n"},
        ErrorCase{{"ErrorObjectOfOddTypes"},
                  429,
                  R"({"errorCode":"x","title":["Slow down"],"description":"wait",
                      "notices":[{"title":"T"}]})",
                  "example.com",
                  "The RDAP server answered with HTTP status 429.\n"},
        ErrorCase{{"LineBreaksInNameAndBody"},
                  404,
                  R"({"title":"Gone\r\nAway","description":["a\nb",3,"c  "]})",
                  "example.com\r\nInjected: line",
                  "No match for \"example.com  Injected: line\".\n"
                  "Gone\nAway\na\nb\nc\n"}),
    test::CaseName());

} // namespace
} // namespace whois
