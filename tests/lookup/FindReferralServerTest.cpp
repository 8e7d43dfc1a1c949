#include "lookup/FindReferralServer.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

namespace whois {
namespace {

using namespace std::string_view_literals;

struct ReferralCase : test::NamedCase {
    std::string_view answer;
    std::string_view expected;
};

class FindReferralServerTest : public testing::TestWithParam<ReferralCase> {};

TEST_P(FindReferralServerTest, TakesTheLastMatch)
{
    const ReferralCase& c = GetParam();
    EXPECT_EQ(FindReferralServer(c.answer), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindReferralServerTest,
    testing::Values(
        ReferralCase{
            "RegistrarLine",
            "Domain Name: A.TEST\r\nRegistrar WHOIS Server: whois.example-registrar.test\r\n"
            "Updated Date: 2020\r\n",
            "whois.example-registrar.test"},
        ReferralCase{"NoReferral", "Domain Name: A.TEST\r\nStatus: ok\r\n", ""},
        ReferralCase{"Empty", "", ""},
        ReferralCase{"LastLineDecides",
                     "Whois Server: whois.first.test\r\nRegistrar WHOIS Server: "
                     "whois.second.test\r\n",
                     "whois.second.test"},
        ReferralCase{"LastLineWithSingleSpaceEmpties",
                     "Whois Server: whois.first.test\r\nWhois Server: \r\n", ""},
        ReferralCase{"TwoSpacesBeforeNameEmpty",
                     "Whois Server: whois.first.test\r\nWhois Server:  whois.padded.test\r\n", ""},
        ReferralCase{"ColonThenCarriageReturn",
                     "Whois Server: whois.first.test\r\nWhois Server:\r\n", "\r"},
        ReferralCase{"ColonThenLineFeedDoesNotMatch",
                     "Whois Server: whois.first.test\r\nWhois Server:\nmore\n", "whois.first.test"},
        ReferralCase{"ColonThenLineFeedAlone", "Whois Server:\nmore\n", ""},
        ReferralCase{"LowerCaseLineFeedEnded", "whois server: whois.lower.test\n",
                     "whois.lower.test"},
        ReferralCase{"TabStays", "Whois Server:\twhois.tab.test\r\n", "\twhois.tab.test"},
        ReferralCase{"NoWhitespaceAtEnd", "Whois Server: whois.end.test", ""},
        ReferralCase{"NoWhitespaceAtEndAfterEarlierLine",
                     "Whois Server: whois.first.test\r\nWhois Server: whois.end.test",
                     "whois.first.test"},
        ReferralCase{"FullWidthSpaceTrimmed", "Whois Server: whois.wide.test\xA1\xA1\r\n",
                     "whois.wide.test"},
        ReferralCase{"ChineseName", "Whois Server: \xD6\xD0\xCE\xC4.test\r\n",
                     "\xD6\xD0\xCE\xC4.test"},
        ReferralCase{"DoubleColon", "Registry WHOIS Server:: whois.double.test\n", ":"},
        ReferralCase{"MidLine", "see Whois Server: whois.mid.test for more\n", "whois.mid.test"},
        ReferralCase{"QuotedName", "Whois Server: \"whois.quoted.test\"\n",
                     "\"whois.quoted.test\""},
        ReferralCase{"AnswerEndsAtZeroByte",
                     "Whois Server: whois.a.test\n\0Whois Server: whois.b.test\n"sv,
                     "whois.a.test"}),
    test::CaseName());

} // namespace
} // namespace whois
