#include "rdap/RdapBootstrap.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace whois {
namespace {

using Urls = std::vector<std::string>;

// A bootstrap file with the given "services" array.
std::string File(std::string_view services,
                 std::string_view publication = "\"2026-07-23T02:00:03Z\"")
{
    return R"({"version": "1.0", "publication": )" + std::string(publication) +
           R"(, "description": "test", "services": )" + std::string(services) + "}";
}

RdapBootstrap MustParse(RdapRegistry registry, const std::string& json)
{
    auto parsed = RdapBootstrap::Parse(registry, json);
    EXPECT_TRUE(parsed.has_value()) << json;
    return parsed.value_or(RdapBootstrap::Empty(registry));
}

struct MatchCase : test::NamedCase {
    std::string_view query;
    Urls servers;
};

// Entries listed broad first, so a match that stops at the first hit fails.
class DomainMatchTest : public testing::TestWithParam<MatchCase> {};

TEST_P(DomainMatchTest, LongestSuffixOfWholeLabelsWins)
{
    const RdapBootstrap domains = MustParse(RdapRegistry::Domain, File(R"([
        [["uk"], ["https://uk.example/"]],
        [["CO.UK", "example"], ["https://co-uk.example/"]],
        [["shop.co.uk"], ["https://shop.example/base"]]
    ])"));
    EXPECT_EQ(domains.ServersFor(GetParam().query), GetParam().servers);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DomainMatchTest,
    testing::Values(MatchCase{{"SingleLabel"}, "bbc.uk", {"https://uk.example/"}},
                    MatchCase{{"TwoLabelEntry"}, "bbc.co.uk", {"https://co-uk.example/"}},
                    MatchCase{{"DeepName"}, "a.b.bbc.co.uk", {"https://co-uk.example/"}},
                    MatchCase{{"ThreeLabelEntry"}, "x.shop.co.uk", {"https://shop.example/base/"}},
                    MatchCase{{"EntryItself"}, "co.uk", {"https://co-uk.example/"}},
                    MatchCase{{"LabelNotString"}, "xco.uk", {"https://uk.example/"}},
                    MatchCase{{"UpperCaseQuery"}, "BBC.Co.UK", {"https://co-uk.example/"}},
                    MatchCase{{"TrailingDot"}, "bbc.co.uk.", {"https://co-uk.example/"}},
                    MatchCase{{"TwoTrailingDots"}, "bbc.co.uk..", {}},
                    MatchCase{{"EmptyLabel"}, "bbc..co.uk", {}},
                    MatchCase{{"LeadingDot"}, ".uk", {}}, MatchCase{{"Empty"}, "", {}},
                    MatchCase{{"Root"}, ".", {}}, MatchCase{{"NoEntry"}, "example.org", {}},
                    MatchCase{{"SuffixOfLabel"}, "kuk", {}},
                    MatchCase{{"ULabel"}, "\xE4\xBE\x8B.uk", {}},
                    MatchCase{{"ZeroByte"}, std::string_view("a\0.uk", 5), {}},
                    MatchCase{
                        {"SecondEntryOfService"}, "test.example", {"https://co-uk.example/"}}),
    test::CaseName());

class Ipv4MatchTest : public testing::TestWithParam<MatchCase> {};

TEST_P(Ipv4MatchTest, LongestPrefixWins)
{
    const RdapBootstrap ipv4 = MustParse(RdapRegistry::Ipv4, File(R"([
        [["10.0.0.0/8"], ["https://ten.example/"]],
        [["10.1.0.0/16", "192.0.2.1/32"], ["https://ten-one.example/"]],
        [["0.0.0.0/0"], ["https://all.example/"]]
    ])"));
    EXPECT_EQ(ipv4.ServersFor(GetParam().query), GetParam().servers);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Ipv4MatchTest,
    testing::Values(MatchCase{{"Broad"}, "10.2.3.4", {"https://ten.example/"}},
                    MatchCase{{"Narrow"}, "10.1.3.4", {"https://ten-one.example/"}},
                    MatchCase{{"HostRoute"}, "192.0.2.1", {"https://ten-one.example/"}},
                    MatchCase{{"NextToHostRoute"}, "192.0.2.2", {"https://all.example/"}},
                    MatchCase{{"DefaultRoute"}, "203.0.113.9", {"https://all.example/"}},
                    MatchCase{{"PrefixInside"}, "10.1.128.0/17", {"https://ten-one.example/"}},
                    MatchCase{{"PrefixWiderThanEntry"}, "10.0.0.0/12", {"https://ten.example/"}},
                    MatchCase{{"PrefixWiderThanAll"}, "10.0.0.0/7", {"https://all.example/"}},
                    MatchCase{{"LengthTooLong"}, "10.1.3.4/33", {}},
                    MatchCase{{"EmptyLength"}, "10.1.3.4/", {}},
                    MatchCase{{"ShortAddress"}, "10.1.3", {}},
                    MatchCase{{"Ipv6Text"}, "2001:db8::1", {}},
                    MatchCase{{"TrailingBytes"}, "10.1.3.4x", {}},
                    MatchCase{{"ZeroByte"}, std::string_view("10.1.3.4\0", 9), {}}),
    test::CaseName());

class Ipv6MatchTest : public testing::TestWithParam<MatchCase> {};

TEST_P(Ipv6MatchTest, LongestPrefixWins)
{
    const RdapBootstrap ipv6 = MustParse(RdapRegistry::Ipv6, File(R"([
        [["2600::/12"], ["https://wide.example/"]],
        [["2600:1f00::/23"], ["https://odd-length.example/"]],
        [["2001:db8:1::/48"], ["https://site.example/"]]
    ])"));
    EXPECT_EQ(ipv6.ServersFor(GetParam().query), GetParam().servers);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Ipv6MatchTest,
    testing::Values(MatchCase{{"Wide"}, "2600:1::1", {"https://wide.example/"}},
                    MatchCase{{"WideUpperEnd"}, "260f:ffff::1", {"https://wide.example/"}},
                    MatchCase{{"PastWide"}, "2610::1", {}},
                    MatchCase{{"OddLength"}, "2600:1f01::1", {"https://odd-length.example/"}},
                    MatchCase{{"PastOddLength"}, "2600:1d00::1", {"https://wide.example/"}},
                    MatchCase{{"Site"}, "2001:DB8:1:FFFF::1", {"https://site.example/"}},
                    MatchCase{{"NextToSite"}, "2001:db8:2::1", {}},
                    MatchCase{{"PrefixQuery"}, "2001:db8:1::/64", {"https://site.example/"}},
                    MatchCase{{"PrefixQueryTooWide"}, "2001:db8::/32", {}},
                    MatchCase{{"Ipv4Text"}, "10.1.2.3", {}},
                    MatchCase{{"Garbage"}, "2600:::1", {}}),
    test::CaseName());

class AutnumMatchTest : public testing::TestWithParam<MatchCase> {};

TEST_P(AutnumMatchTest, NarrowestRangeWins)
{
    const RdapBootstrap autnums = MustParse(RdapRegistry::Autnum, File(R"([
        [["1-100000"], ["https://wide.example/"]],
        [["64512-65534", "15169"], ["https://narrow.example/"]],
        [["4294967295"], ["https://last.example/"]]
    ])"));
    EXPECT_EQ(autnums.ServersFor(GetParam().query), GetParam().servers);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AutnumMatchTest,
    testing::Values(MatchCase{{"Wide"}, "13335", {"https://wide.example/"}},
                    MatchCase{{"RangeStart"}, "64512", {"https://narrow.example/"}},
                    MatchCase{{"RangeEnd"}, "65534", {"https://narrow.example/"}},
                    MatchCase{{"PastRange"}, "65535", {"https://wide.example/"}},
                    MatchCase{{"Single"}, "15169", {"https://narrow.example/"}},
                    MatchCase{{"NextToSingle"}, "15170", {"https://wide.example/"}},
                    MatchCase{{"Prefixed"}, "AS15169", {"https://narrow.example/"}},
                    MatchCase{{"LowerPrefix"}, "as15169", {"https://narrow.example/"}},
                    MatchCase{{"Largest"}, "4294967295", {"https://last.example/"}},
                    MatchCase{{"Overflow"}, "4294967296", {}}, MatchCase{{"Zero"}, "0", {}},
                    MatchCase{{"Unlisted"}, "100001", {}}, MatchCase{{"PrefixAlone"}, "AS", {}},
                    MatchCase{{"Negative"}, "-5", {}}, MatchCase{{"PlusSign"}, "+5", {}},
                    MatchCase{{"Trailing"}, "13335x", {}}),
    test::CaseName());

struct UrlCase : test::NamedCase {
    std::string_view urls;
    Urls servers;
};

class BaseUrlTest : public testing::TestWithParam<UrlCase> {};

// The caller must be able to tell that only http is offered, and append a path to any URL.
TEST_P(BaseUrlTest, KeepsHttpAndHttpsUrlsHttpsFirst)
{
    const std::string services = R"([[["test"], )" + std::string(GetParam().urls) + "]]";
    EXPECT_EQ(MustParse(RdapRegistry::Domain, File(services)).ServersFor("a.test"),
              GetParam().servers);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BaseUrlTest,
    testing::Values(
        UrlCase{{"HttpOnly"}, R"(["http://rdap.example/"])", {"http://rdap.example/"}},
        UrlCase{{"HttpsMovedFirst"},
                R"(["http://a.example/", "https://b.example/", "http://c.example/"])",
                {"https://b.example/", "http://a.example/", "http://c.example/"}},
        UrlCase{{"SlashAdded"}, R"(["https://a.example/rdap"])", {"https://a.example/rdap/"}},
        UrlCase{{"SchemeInUpperCase"}, R"(["HTTPS://A.example/"])", {"HTTPS://A.example/"}},
        UrlCase{{"OtherSchemesDropped"},
                R"(["ftp://a.example/", "file:///etc/", "https://b.example/"])",
                {"https://b.example/"}},
        UrlCase{{"NoHostDropped"}, R"(["https://", "https:///x/"])", {}},
        UrlCase{{"BlankDropped"}, R"(["https://a.example/x y/"])", {}},
        UrlCase{{"NoUrls"}, "[]", {}}),
    test::CaseName());

TEST(RdapBootstrap, ServiceWithoutUsableUrlsLeavesTheShorterMatch)
{
    const RdapBootstrap domains = MustParse(RdapRegistry::Domain, File(R"([
        [["uk"], ["https://uk.example/"]],
        [["co.uk"], ["ftp://co-uk.example/"]]
    ])"));
    EXPECT_EQ(domains.ServersFor("bbc.co.uk"), Urls{"https://uk.example/"});
}

TEST(RdapBootstrap, FirstServiceNamingAnEntryWins)
{
    const RdapBootstrap domains = MustParse(RdapRegistry::Domain, File(R"([
        [["test"], ["https://first.example/"]],
        [["TEST"], ["https://second.example/"]]
    ])"));
    EXPECT_EQ(domains.ServersFor("a.test"), Urls{"https://first.example/"});
}

struct PublicationCase : test::NamedCase {
    std::string_view publication;
    std::int64_t seconds; // since the epoch; -1 for a file that must be refused
};

class PublicationTest : public testing::TestWithParam<PublicationCase> {};

TEST_P(PublicationTest, ReadsAsUtc)
{
    const PublicationCase& c = GetParam();
    const std::string quoted = "\"" + std::string(c.publication) + "\"";
    const auto parsed = RdapBootstrap::Parse(RdapRegistry::Domain, File("[]", quoted));
    if (c.seconds < 0) {
        EXPECT_FALSE(parsed.has_value());
        return;
    }
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->Publication(), c.publication);
    EXPECT_EQ(parsed->PublicationTime().time_since_epoch().count(), c.seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PublicationTest,
    testing::Values(PublicationCase{{"Utc"}, "2026-07-23T02:00:03Z", 1784772003},
                    PublicationCase{{"Fraction"}, "2026-07-23T02:00:03.999Z", 1784772003},
                    PublicationCase{{"EastOfUtc"}, "2026-07-23T04:00:03+02:00", 1784772003},
                    PublicationCase{{"WestOfUtc"}, "2026-07-22T21:30:03-04:30", 1784772003},
                    PublicationCase{{"LowerCase"}, "2026-07-23t02:00:03z", 1784772003},
                    PublicationCase{{"LeapDay"}, "2024-02-29T00:00:00Z", 1709164800},
                    PublicationCase{{"NoLeapDay"}, "2026-02-29T00:00:00Z", -1},
                    PublicationCase{{"Hour24"}, "2026-07-23T24:00:00Z", -1},
                    PublicationCase{{"NoZone"}, "2026-07-23T02:00:03", -1},
                    PublicationCase{{"DateOnly"}, "2026-07-23", -1},
                    PublicationCase{{"TrailingBytes"}, "2026-07-23T02:00:03Zx", -1},
                    PublicationCase{{"EmptyFraction"}, "2026-07-23T02:00:03.Z", -1},
                    PublicationCase{{"Words"}, "yesterday", -1},
                    PublicationCase{{"Empty"}, "", -1}),
    test::CaseName());

struct MalformedCase : test::NamedCase {
    RdapRegistry registry;
    std::string json;
};

class MalformedFileTest : public testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedFileTest, IsRefused)
{
    EXPECT_FALSE(RdapBootstrap::Parse(GetParam().registry, GetParam().json).has_value());
}

constexpr auto kDomain = RdapRegistry::Domain;

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedFileTest,
    testing::Values(
        MalformedCase{{"Empty"}, kDomain, ""},
        MalformedCase{{"Garbage"}, kDomain, "\x89PNG\r\n\x1a\n"},
        MalformedCase{{"Truncated"}, kDomain, File("[]").substr(0, 40)},
        MalformedCase{{"TrailingBytes"}, kDomain, File("[]") + "x"},
        MalformedCase{{"TopLevelArray"}, kDomain, "[" + File("[]") + "]"},
        MalformedCase{
            {"NoVersion"}, kDomain, R"({"publication": "2026-07-23T02:00:03Z", "services": []})"},
        MalformedCase{{"OtherVersion"},
                      kDomain,
                      R"({"version": "2.0", "publication": "2026-07-23T02:00:03Z",
                          "services": []})"},
        MalformedCase{{"VersionNumber"},
                      kDomain,
                      R"({"version": 1.0, "publication": "2026-07-23T02:00:03Z",
                          "services": []})"},
        MalformedCase{{"NoPublication"}, kDomain, R"({"version": "1.0", "services": []})"},
        MalformedCase{{"PublicationNumber"}, kDomain, File("[]", "20260723")},
        MalformedCase{{"NoServices"},
                      kDomain,
                      R"({"version": "1.0", "publication": "2026-07-23T02:00:03Z"})"},
        MalformedCase{{"ServicesObject"}, kDomain, File(R"({"com": ["https://a/"]})")},
        MalformedCase{{"ServiceString"}, kDomain, File(R"(["com"])")},
        MalformedCase{{"ServiceOfOne"}, kDomain, File(R"([[["com"]]])")},
        MalformedCase{{"EntriesString"}, kDomain, File(R"([["com", ["https://a/"]]])")},
        MalformedCase{{"UrlsString"}, kDomain, File(R"([[["com"], "https://a/"]])")},
        MalformedCase{{"EntryNumber"}, kDomain, File(R"([[[7], ["https://a/"]]])")},
        MalformedCase{{"UrlNull"}, kDomain, File(R"([[["com"], [null]]])")},
        MalformedCase{{"EmptyDomain"}, kDomain, File(R"([[[""], ["https://a/"]]])")},
        MalformedCase{{"EmptyLabel"}, kDomain, File(R"([[["co..uk"], ["https://a/"]]])")},
        MalformedCase{{"DomainWithDot"}, kDomain, File(R"([[["com."], ["https://a/"]]])")},
        MalformedCase{{"DomainWithSpace"}, kDomain, File(R"([[["c m"], ["https://a/"]]])")},
        MalformedCase{
            {"BadIpv4"}, RdapRegistry::Ipv4, File(R"([[["300.0.0.0/8"], ["https://a/"]]])")},
        MalformedCase{
            {"Ipv4WithoutLength"}, RdapRegistry::Ipv4, File(R"([[["10.0.0.0"], ["https://a/"]]])")},
        MalformedCase{{"Ipv4LengthTooLong"},
                      RdapRegistry::Ipv4,
                      File(R"([[["10.0.0.0/33"], ["https://a/"]]])")},
        MalformedCase{{"Ipv6InIpv4File"},
                      RdapRegistry::Ipv4,
                      File(R"([[["2001:db8::/32"], ["https://a/"]]])")},
        MalformedCase{
            {"BadIpv6"}, RdapRegistry::Ipv6, File(R"([[["2001:db8::g/32"], ["https://a/"]]])")},
        MalformedCase{{"Ipv6LengthTooLong"},
                      RdapRegistry::Ipv6,
                      File(R"([[["2001:db8::/129"], ["https://a/"]]])")},
        MalformedCase{
            {"ReversedRange"}, RdapRegistry::Autnum, File(R"([[["100-5"], ["https://a/"]]])")},
        MalformedCase{{"RangeOpen"}, RdapRegistry::Autnum, File(R"([[["100-"], ["https://a/"]]])")},
        MalformedCase{
            {"AutnumWord"}, RdapRegistry::Autnum, File(R"([[["AS100"], ["https://a/"]]])")},
        MalformedCase{
            {"DomainFileAsAutnum"}, RdapRegistry::Autnum, File(R"([[["com"], ["https://a/"]]])")}),
    test::CaseName());

TEST(RdapBootstrap, ValidMinimalFileIsAccepted)
{
    const auto parsed = RdapBootstrap::Parse(RdapRegistry::Autnum, R"({
        "version": "1.0", "publication": "2026-07-23T02:00:03Z",
        "services": [[["1-2"], ["https://a.example/"], "extra"]], "extra": {}})");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->ServersFor("2"), Urls{"https://a.example/"});
}

TEST(RdapBootstrap, OverlaidNamesWinOverTheFileAndFillGaps)
{
    const RdapBootstrap file = MustParse(RdapRegistry::Domain, File(R"([
        [["io", "uk"], ["https://iana-listed.example/"]]
    ])"));
    const std::vector<RdapOverride> overrides = {{"io", "https://override.example/"},
                                                 {"de", "https://de.example/"},
                                                 {"co.uk", "https://co-uk.example/"}};
    const RdapBootstrap overlaid = file.Overlaid(overrides);
    EXPECT_EQ(overlaid.ServersFor("nic.io"), Urls{"https://override.example/"});
    EXPECT_EQ(overlaid.ServersFor("denic.de"), Urls{"https://de.example/"});
    EXPECT_EQ(overlaid.ServersFor("bbc.co.uk"), Urls{"https://co-uk.example/"});
    EXPECT_EQ(overlaid.ServersFor("bbc.uk"), Urls{"https://iana-listed.example/"});
    EXPECT_EQ(overlaid.Publication(), file.Publication());
    EXPECT_EQ(file.ServersFor("nic.io"), Urls{"https://iana-listed.example/"});
    EXPECT_EQ(file.ServersFor("denic.de"), Urls{});
}

TEST(RdapRegistry, IanaPublishesEachFileUnderItsName)
{
    EXPECT_EQ(IanaBootstrapUrl(RdapRegistry::Domain), "https://data.iana.org/rdap/dns.json");
    EXPECT_EQ(IanaBootstrapUrl(RdapRegistry::Ipv4), "https://data.iana.org/rdap/ipv4.json");
    EXPECT_EQ(IanaBootstrapUrl(RdapRegistry::Ipv6), "https://data.iana.org/rdap/ipv6.json");
    EXPECT_EQ(IanaBootstrapUrl(RdapRegistry::Autnum), "https://data.iana.org/rdap/asn.json");
}

} // namespace
} // namespace whois
