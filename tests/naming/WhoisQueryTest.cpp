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
        QueryCase{{"AutonomousSystem"}, "AS264957", "AS264957"},
        QueryCase{{"AutonomousSystemLowerCase"}, "as15169", "AS15169"},
        QueryCase{{"TopLevelWithDot"}, ".IO", "io"},
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

// Letters code page 936 lacks reach the request intact when the text is taken as Unicode.
struct UnicodeCase : test::NamedCase {
    std::string_view typed;
    std::string_view query;
    QueryKind kind;
};

class UnicodeQueryTest : public testing::TestWithParam<UnicodeCase> {};

TEST_P(UnicodeQueryTest, AsksForTheUnicodeName)
{
    EXPECT_EQ(WhoisQueryFromUtf8(GetParam().typed), GetParam().query);
    EXPECT_EQ(KindOfQuery(WhoisQueryFromUtf8(GetParam().typed)), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnicodeQueryTest,
    testing::Values(
        UnicodeCase{{"Umlaut"}, "köln.de", "xn--kln-sna.de", QueryKind::Domain},
        UnicodeCase{
            {"UmlautInAddress"}, "https://www.Köln.de/?q=1", "xn--kln-sna.de", QueryKind::Domain},
        UnicodeCase{{"Tilde"}, "españa.es", "xn--espaa-rta.es", QueryKind::Domain},
        UnicodeCase{{"SharpS"}, "straße.de", "xn--strae-oqa.de", QueryKind::Domain},
        UnicodeCase{{"Hangul"}, "한국.kr", "xn--3e0b707e.kr", QueryKind::Domain},
        UnicodeCase{
            {"IdeographicFullStop"}, "例子。中国", "xn--fsqu00a.xn--fiqs8s", QueryKind::Domain},
        UnicodeCase{{"ThreeByteLetterBeforeSlash"},
                    "例子.中国/x",
                    "xn--fsqu00a.xn--fiqs8s",
                    QueryKind::Domain},
        UnicodeCase{{"IdeographicSpacesAround"},
                    "\u3000example.com\u3000",
                    "example.com",
                    QueryKind::Domain},
        UnicodeCase{{"TrailingDotAndUser"},
                    "https://user:pw@example.com./",
                    "example.com",
                    QueryKind::Domain},
        UnicodeCase{{"Ipv4"}, "192.0.2.10", "192.0.2.10", QueryKind::IpAddress},
        UnicodeCase{{"Ipv6Brackets"}, "[2001:db8::1]", "2001:db8::1", QueryKind::IpAddress},
        UnicodeCase{{"AsNumber"}, "as15169", "AS15169", QueryKind::AsNumber},
        UnicodeCase{{"AsNumberAfterAnIgnoredCharacter"}, "\u034FAs0", "AS0", QueryKind::AsNumber},
        UnicodeCase{{"AddressAfterAnIgnoredCharacter"},
                    "\u034F192.0.2.10",
                    "192.0.2.10",
                    QueryKind::IpAddress},
        UnicodeCase{{"TopLevel"}, ".io", "io", QueryKind::TopLevelDomain},
        UnicodeCase{{"Keyword"}, "domain example.com", "domain example.com", QueryKind::Keyword},
        UnicodeCase{{"InnerIdeographicSpace"}, "a\u3000b", "a\u3000b", QueryKind::Keyword}),
    test::CaseName());

} // namespace
} // namespace whois
