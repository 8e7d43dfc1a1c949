#include "naming/WhoisQuery.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

namespace whois {
namespace {

struct QueryCase : test::NamedCase {
    std::string_view typed;
    std::string_view query;
};

class WhoisQueryTest : public testing::TestWithParam<QueryCase> {};

TEST_P(WhoisQueryTest, AsksForWhatARegistryCanAnswer)
{
    const QueryCase& c = GetParam();
    EXPECT_EQ(WhoisQuery(c.typed), c.query);
    EXPECT_EQ(WhoisRequestLine(c.typed), std::string(c.query) + "\r\n");
}

// 例子.中国 in code page 936, and its A-labels.
constexpr std::string_view kChineseDomain = "\xC0\xFD\xD7\xD3.\xD6\xD0\xB9\xFA";
constexpr std::string_view kChineseDomainAscii = "xn--fsqu00a.xn--fiqs8s";

INSTANTIATE_TEST_SUITE_P(
    Cases, WhoisQueryTest,
    testing::Values(
        QueryCase{{"Domain"}, "example.com", "example.com"},
        QueryCase{{"HostName"}, "Mail.Example.COM", "example.com"},
        QueryCase{{"WebAddress"}, "http://mail.example.com/path?x=1#top", "example.com"},
        QueryCase{{"UserAndPort"}, "https://user:pw@www.example.co.uk:8443/x", "example.co.uk"},
        QueryCase{{"HostAndPort"}, "mail.example.com:8080", "example.com"},
        QueryCase{{"QueryWithoutPath"}, "example.com?q=1", "example.com"},
        QueryCase{{"FragmentWithoutPath"}, "example.com#x", "example.com"},
        QueryCase{{"TrailingDots"}, "example.com..", "example.com"},
        QueryCase{{"SpacesAround"}, "  example.com \xA1\xA1", "example.com"},
        QueryCase{{"OtherScheme"}, "ftp://example.com/x", "example.com"},
        QueryCase{{"EmbeddedAddressAfterPath"},
                  "example.com/?u=http://other.example.org/",
                  "example.com"},
        QueryCase{{"TwoLevelSuffixHost"}, "shop.example.co.uk", "example.co.uk"},
        QueryCase{{"PublicSuffixKept"}, "co.uk", "co.uk"},
        QueryCase{{"SingleLabelKept"}, "localhost", "localhost"},
        QueryCase{{"TopLevelLabel"}, "KR", "kr"},
        QueryCase{{"AutonomousSystem"}, "AS264957", "as264957"},
        QueryCase{{"Ipv4"}, "192.0.2.10", "192.0.2.10"},
        QueryCase{{"Ipv4InAddress"}, "http://192.0.2.10:8080/x", "192.0.2.10"},
        QueryCase{{"Ipv6InBrackets"}, "[2001:DB8::1]:43", "2001:DB8::1"},
        QueryCase{{"Ipv6Bare"}, "2001:db8::1", "2001:db8::1"},
        QueryCase{{"ChineseDomain"}, kChineseDomain, kChineseDomainAscii},
        QueryCase{{"ChineseHost"}, "WWW.\xC0\xFD\xD7\xD3.\xD6\xD0\xB9\xFA", kChineseDomainAscii},
        QueryCase{{"ALabelsKept"}, "www.xn--fsqu00a.xn--fiqs8s", kChineseDomainAscii},
        QueryCase{{"KeywordQueryVerbatim"}, " domain Example.com ", " domain Example.com "},
        QueryCase{{"OptionQueryVerbatim"}, "-T dn,ace example.de", "-T dn,ace example.de"},
        QueryCase{{"TabVerbatim"}, "a\tb.com", "a\tb.com"},
        QueryCase{{"InnerFullWidthSpaceVerbatim"},
                  "a\xA1\xA1"
                  "b",
                  "a\xA1\xA1"
                  "b"},
        QueryCase{{"Empty"}, "", ""}, QueryCase{{"SpacesOnlyVerbatim"}, "   ", "   "},
        QueryCase{{"NoHostVerbatim"}, "/path", "/path"},
        QueryCase{{"PortOnlyVerbatim"}, ":43", ":43"}),
    test::CaseName());

} // namespace
} // namespace whois
