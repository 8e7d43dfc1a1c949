#include "naming/ExtractDomain.h"

#include "text/TextOperations.h"
#include "naming/WhoisServerForDomain.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

namespace whois {
namespace {

// The query command trims the typed text, keeps its main domain with one extra level and
// names the registry's whois server after the domain's labels past its first dot.
struct QueryCase : test::NamedCase {
    std::string_view typed;
    std::string_view domain;
    std::string_view serverLabel;
};

class QueryCommandDomainTest : public testing::TestWithParam<QueryCase> {};

TEST_P(QueryCommandDomainTest, NamesDomainAndServer)
{
    const QueryCase& c = GetParam();
    const Text domain = ExtractDomain(TrimSpaces(c.typed), true, std::nullopt, 1);
    EXPECT_EQ(domain, c.domain);
    EXPECT_EQ(WhoisServerForDomain(domain), Text(c.serverLabel) + ".whois-servers.net");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QueryCommandDomainTest,
    testing::Values(
        QueryCase{"BareDomain", "example.com", "example.com", "com"},
        QueryCase{"HostName", "mail.example.com", "example.com", "com"},
        QueryCase{"MixedCase", "Mail.Example.COM", "example.com", "com"},
        QueryCase{"WebAddress", "http://mail.example.com/path", "example.com", "com"},
        QueryCase{"SecureWebAddress", "HTTPS://Mail.Example.COM/a/b?c=d", "example.com", "com"},
        QueryCase{"HostAndPort", "mail.example.com:8080", "example.com", "com"},
        QueryCase{"AddressWithPort", "http://mail.example.com:8080/index.html", "example.com",
                  "com"},
        QueryCase{"UpperCaseWithPort", "EXAMPLE.COM:443", "example.com", "com"},
        QueryCase{"TwoLevelSuffix", "example.co.uk", "co.uk", "uk"},
        QueryCase{"TwoLevelSuffixHost", "shop.example.co.uk", "co.uk", "uk"},
        QueryCase{"FourLabels", "a.b.c.d", "c.d", "d"},
        QueryCase{"Ipv4Address", "192.0.2.10", "2.10", "10"},
        QueryCase{"SingleLabel", "localhost", "localhost", "localhost"},
        QueryCase{"Empty", "", "", ""}, QueryCase{"SpacesOnly", " \xA1\xA1  ", "", ""},
        QueryCase{"LeadingTabStays", "\texample.com", "\texample.com", "com"},
        QueryCase{"FinalDot", "example.com.", "example.com.", "com."},
        QueryCase{"HostWithFinalDot", "mail.example.com.", "example.com.", "com."},
        QueryCase{"LeadingSlash", "/example.com", "", ""}, QueryCase{"PortOnly", ":8080", "", ""},
        QueryCase{"OtherScheme", "ftp://example.com/x", "ftp", "ftp"},
        QueryCase{"EmbeddedScheme", "example.com/?u=http://other.example.org/", "example.com",
                  "com"},
        QueryCase{"LeadingDot", ".com", ".com", "com"}, QueryCase{"EmptyLabel", "a..b", ".b", "b"},
        QueryCase{"ChineseDomain", "\xC0\xFD\xD7\xD3.\xD6\xD0\xB9\xFA",
                  "\xC0\xFD\xD7\xD3.\xD6\xD0\xB9\xFA", "\xD6\xD0\xB9\xFA"},
        QueryCase{"ChineseHost", "www.\xC0\xFD\xD7\xD3.\xD6\xD0\xB9\xFA",
                  "\xC0\xFD\xD7\xD3.\xD6\xD0\xB9\xFA", "\xD6\xD0\xB9\xFA"},
        QueryCase{"FullWidthSpacesAround",
                  "\xA1\xA1"
                  "example.cn\xA1\xA1",
                  "example.cn", "cn"},
        QueryCase{"SecondLevelUnderCountryCode", "example.com.cn", "com.cn", "cn"},
        QueryCase{"LoneLeadByteAtEnd", "example.com\xB0", "example.com", "com"},
        QueryCase{"SpaceThenLoneLeadByte", "example.com \xB0", "example.com ", "com "},
        QueryCase{"LoneLeadByteAlone", "\xB0", "", ""},
        // A byte from 0x80 up hides the byte after it from every search.
        QueryCase{"DotAfterLeadByteIsNoLabelBreak", "x\xB0.com", "x\xB0.com", "x\xB0.com"},
        QueryCase{"SlashAfterLeadByteIsNoPath", "\xB0/example.com", "\xB0/example.com", "com"},
        QueryCase{"ColonAfterLeadByteIsNoPort", "a.\xB0:80", "a.\xB0:80", "\xB0:80"},
        QueryCase{"UpperLetterAfterLeadByteKeepsCase",
                  "\xB0"
                  "A.COM",
                  "\xB0"
                  "A.com",
                  "com"},
        QueryCase{"SpaceAfterLeadByteIsNoSpace", "\xB0 ", "\xB0 ", "\xB0 "},
        QueryCase{"LeadByteHidesDotInHost", "mail.\xB0.example.com", "\xB0.example.com", "com"}),
    test::CaseName());

struct ArgumentsCase : test::NamedCase {
    std::string_view typed;
    std::optional<bool> mainDomainOnly;
    std::optional<bool> keepPort;
    std::optional<Position> levels;
    std::string_view expected;
};

class ExtractDomainArgumentsTest : public testing::TestWithParam<ArgumentsCase> {};

TEST_P(ExtractDomainArgumentsTest, FollowsItsArguments)
{
    const ArgumentsCase& c = GetParam();
    EXPECT_EQ(ExtractDomain(c.typed, c.mainDomainOnly, c.keepPort, c.levels), c.expected);
}

constexpr std::nullopt_t kNotGiven = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractDomainArgumentsTest,
    testing::Values(
        ArgumentsCase{"LevelsZeroMain", "mail.example.com", true, kNotGiven, 0, "com"},
        ArgumentsCase{"LevelsNegativeActsAsZero", "mail.example.com", true, kNotGiven, -3, "com"},
        ArgumentsCase{"LevelsOneNotMainFourLabels", "a.b.c.d", kNotGiven, kNotGiven, 1, "b.c.d"},
        ArgumentsCase{"LevelsOneMainFalse", "a.b.c.d", false, kNotGiven, 1, "b.c.d"},
        ArgumentsCase{"LevelsOneNotMainHost", "mail.example.com", kNotGiven, kNotGiven, 1,
                      "mail.example.com"},
        ArgumentsCase{"LevelsOneNotMainDomain", "example.com", kNotGiven, kNotGiven, 1,
                      "example.com"},
        ArgumentsCase{"LevelsTwoMain", "x.y.example.co.uk", true, kNotGiven, 2, "example.co.uk"},
        ArgumentsCase{"HugeLevels", "x.y.example.co.uk", true, kNotGiven, INT64_MAX,
                      "x.y.example.co.uk"},
        ArgumentsCase{"KeepPort", "mail.example.com:8080", true, true, 1, "example.com:8080"},
        ArgumentsCase{"WebAddressMain", "http://mail.example.com/path", true, kNotGiven, kNotGiven,
                      "example.com"},
        ArgumentsCase{"WebAddressHost", "http://mail.example.com/path", kNotGiven, kNotGiven,
                      kNotGiven, "mail.example.com"},
        ArgumentsCase{"SecureAddressMain", "HTTPS://A.B.C/", true, kNotGiven, kNotGiven, "b.c"},
        ArgumentsCase{"SecureAddressHost", "HTTPS://A.B.C/", kNotGiven, kNotGiven, kNotGiven,
                      "a.b.c"},
        ArgumentsCase{"EmbeddedAddressWins", "example.com/?u=http://other.example.org/", true,
                      kNotGiven, kNotGiven, "example.org"},
        ArgumentsCase{"SecureKeepPort", "https://mail.example.com:8443/x", kNotGiven, true,
                      kNotGiven, "mail.example.com:8443"},
        ArgumentsCase{"SecureMainKeepPort", "https://mail.example.com:8443/x", true, true,
                      kNotGiven, "example.com:8443"},
        ArgumentsCase{"BareHostWithoutLevels", "mail.example.com", true, kNotGiven, kNotGiven,
                      "example.com"},
        ArgumentsCase{"EmptyWithoutLevels", "", true, kNotGiven, kNotGiven, ""},
        ArgumentsCase{"SchemeOnlyWithoutLevels", "https://", true, kNotGiven, kNotGiven, ""},
        ArgumentsCase{"SingleLabelWithoutLevels", "localhost", true, kNotGiven, kNotGiven,
                      "localhost"},
        ArgumentsCase{"PortWithoutLevels", "example.com:80", kNotGiven, kNotGiven, kNotGiven,
                      "example.com"}),
    test::CaseName());

TEST(WhoisServerForDomainTest, UsesTheBytesAfterTheFirstDot)
{
    EXPECT_EQ(WhoisServerForDomain("example.com"), "com.whois-servers.net");
    EXPECT_EQ(WhoisServerForDomain("com.cn"), "cn.whois-servers.net");
    EXPECT_EQ(WhoisServerForDomain("a.b.c"), "b.c.whois-servers.net");
    EXPECT_EQ(WhoisServerForDomain("localhost"), "localhost.whois-servers.net");
    EXPECT_EQ(WhoisServerForDomain("example."), ".whois-servers.net");
    EXPECT_EQ(WhoisServerForDomain(""), ".whois-servers.net");
}

TEST(ExtractDomainTest, LeavesTheCallersTextAlone)
{
    const Text typed = "HTTP://Mail.Example.COM:80/x";
    const Text copy = typed;
    EXPECT_EQ(ExtractDomain(typed, true, std::nullopt, 1), "example.com");
    EXPECT_EQ(typed, copy);
}

} // namespace
} // namespace whois
