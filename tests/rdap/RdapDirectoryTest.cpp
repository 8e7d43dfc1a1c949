#include "rdap/RdapDirectory.h"

#include "rdap/BuiltInRdapData.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace whois {
namespace {

using Urls = std::vector<std::string>;

const Urls kVerisignCom = {"https://rdap.verisign.com/com/v1/"};
const Urls kIdentityDigital = {"https://rdap.identitydigital.services/rdap/"};
const Urls kApnic = {"https://rdap.apnic.net/"};
const Urls kArin = {"https://rdap.arin.net/registry/", "http://rdap.arin.net/registry/"};
const Urls kRipe = {"https://rdap.db.ripe.net/"};
const Urls kAfrinic = {"https://rdap.afrinic.net/rdap/", "http://rdap.afrinic.net/rdap/"};
const Urls kLacnic = {"https://rdap.lacnic.net/rdap/"};

const RdapDirectory& BuiltIn()
{
    static const RdapDirectory directory = RdapDirectory::BuiltIn();
    return directory;
}

TEST(BuiltInRdapData, EveryFileTheProgramCarriesParses)
{
    EXPECT_EQ(BuiltInBootstrap(RdapRegistry::Domain).Publication(), "2026-07-23T02:00:03Z");
    EXPECT_EQ(BuiltInBootstrap(RdapRegistry::Ipv4).Publication(), "2019-06-07T19:00:02Z");
    EXPECT_EQ(BuiltInBootstrap(RdapRegistry::Ipv6).Publication(), "2024-11-01T22:00:01Z");
    EXPECT_EQ(BuiltInBootstrap(RdapRegistry::Autnum).Publication(), "2026-06-01T20:00:01Z");
    EXPECT_EQ(BuiltInOverrides().size(), 19u);
}

struct DomainCase : test::NamedCase {
    std::string_view domain;
    Urls servers;
};

class BuiltInDomainTest : public testing::TestWithParam<DomainCase> {};

TEST_P(BuiltInDomainTest, FindsTheRegistrysServer)
{
    EXPECT_EQ(BuiltIn().ServersForDomain(GetParam().domain), GetParam().servers);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BuiltInDomainTest,
    testing::Values(
        DomainCase{{"Com"}, "google.com", kVerisignCom},
        DomainCase{{"TopLevelAlone"}, "com", kVerisignCom},
        DomainCase{{"HostUnderCom"}, "www.mail.google.com", kVerisignCom},
        DomainCase{{"UpperCase"}, "WWW.Example.COM", kVerisignCom},
        DomainCase{{"TrailingDot"}, "example.com.", kVerisignCom},
        DomainCase{{"Net"}, "example.net", {"https://rdap.verisign.com/net/v1/"}},
        DomainCase{{"SecondLevelUnderCountry"}, "bbc.co.uk", {"https://rdap.nominet.uk/uk/"}},
        DomainCase{{"IdnTopLevel"}, "xn--fsqu00a.xn--kpry57d", {"https://ccrdap.twnic.tw/taiwan/"}},
        DomainCase{{"IdnTopLevelUpperCase"},
                   "EXAMPLE.XN--3DS443G",
                   {"https://rdap.teleinfo.cn/xn--3ds443g/"}},
        DomainCase{{"HttpOnlyKg"}, "example.kg", {"http://rdap.cctld.kg/"}},
        DomainCase{{"HttpOnlyMg"}, "example.mg", {"http://rdap.nic.mg/"}},
        DomainCase{{"OverrideIo"}, "github.io", kIdentityDigital},
        DomainCase{{"OverrideDe"}, "denic.de", {"https://rdap.denic.de/"}},
        DomainCase{{"OverrideCh"}, "nic.CH.", {"https://rdap.nic.ch/"}},
        DomainCase{{"OverrideCo"}, "example.co", {"https://rdap.registry.co/co/"}},
        DomainCase{{"UnlistedCn"}, "example.cn", {}}, DomainCase{{"UnlistedJp"}, "example.jp", {}},
        DomainCase{{"UnknownTopLevel"}, "example.invalid", {}},
        DomainCase{{"ULabels"}, "\xE4\xBE\x8B\xE5\xAD\x90.\xE5\x8F\xB0\xE7\x81\xA3", {}},
        DomainCase{{"Empty"}, "", {}}),
    test::CaseName());

struct AddressCase : test::NamedCase {
    std::string_view address;
    Urls servers;
};

class BuiltInAddressTest : public testing::TestWithParam<AddressCase> {};

TEST_P(BuiltInAddressTest, FindsTheRegionalRegistry)
{
    EXPECT_EQ(BuiltIn().ServersForIp(GetParam().address), GetParam().servers);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BuiltInAddressTest,
    testing::Values(
        AddressCase{{"Apnic"}, "1.1.1.1", kApnic}, AddressCase{{"Arin"}, "8.8.8.8", kArin},
        AddressCase{{"Ripe"}, "193.0.6.139", kRipe},
        AddressCase{{"Afrinic"}, "196.216.2.1", kAfrinic},
        AddressCase{{"Lacnic"}, "200.3.14.10", kLacnic},
        AddressCase{{"Ipv4Prefix"}, "1.1.1.0/24", kApnic},
        AddressCase{{"UnlistedIpv4"}, "10.0.0.1", {}},
        AddressCase{{"Ipv6Arin"}, "2606:4700::1111", kArin},
        AddressCase{{"Ipv6Ripe"}, "2001:67c:2e8::2", kRipe},
        AddressCase{{"Ipv6Apnic"}, "2001:dc7::1", kApnic},
        AddressCase{{"Ipv6Lacnic"}, "2800:3f0:4001::1", kLacnic},
        AddressCase{{"Ipv6Prefix"}, "2606:4700::/32", kArin},
        AddressCase{{"Ipv6PrefixWiderThanEntry"}, "2600::/8", {}},
        AddressCase{{"UniqueLocal"}, "fd00::1", {}}, AddressCase{{"Loopback"}, "::1", {}},
        AddressCase{{"MappedIpv4"}, "::ffff:1.1.1.1", kApnic},
        AddressCase{{"MappedIpv4Prefix"}, "::ffff:8.8.8.0/120", kArin},
        AddressCase{{"MappedIpv4PrefixTooWide"}, "::ffff:8.8.8.0/64", {}},
        AddressCase{{"NotAnAddress"}, "example.com", {}}, AddressCase{{"Empty"}, "", {}}),
    test::CaseName());

struct AutnumCase : test::NamedCase {
    std::uint32_t number;
    Urls servers;
};

class BuiltInAutnumTest : public testing::TestWithParam<AutnumCase> {};

TEST_P(BuiltInAutnumTest, FindsTheRegionalRegistry)
{
    EXPECT_EQ(BuiltIn().ServersForAutnum(GetParam().number), GetParam().servers);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BuiltInAutnumTest,
    testing::Values(AutnumCase{{"Cloudflare"}, 13335, kArin},
                    AutnumCase{{"RipeRange"}, 205697, kRipe},
                    AutnumCase{{"SingleNumberEntry"}, 2043, kRipe},
                    AutnumCase{{"NextToSingle"}, 2044, kArin}, AutnumCase{{"Apnic"}, 4608, kApnic},
                    AutnumCase{{"Lacnic"}, 28000, kLacnic},
                    AutnumCase{{"Afrinic"}, 37000, kAfrinic}, AutnumCase{{"Private"}, 64512, {}},
                    AutnumCase{{"Zero"}, 0, {}}, AutnumCase{{"Largest"}, 4294967295u, {}}),
    test::CaseName());

TEST(RdapDirectory, ReplacedDomainFileKeepsTheOverrides)
{
    const std::vector<RdapOverride> overrides = {{"io", "https://override.example/"}};
    RdapDirectory directory(overrides);
    const auto refreshed = RdapBootstrap::Parse(RdapRegistry::Domain, R"({
        "version": "1.0", "publication": "2030-01-01T00:00:00Z",
        "services": [[["io", "test"], ["https://refreshed.example/"]]]})");
    ASSERT_TRUE(refreshed.has_value());
    directory.Replace(*refreshed);
    EXPECT_EQ(directory.ServersForDomain("nic.io"), Urls{"https://override.example/"});
    EXPECT_EQ(directory.ServersForDomain("a.test"), Urls{"https://refreshed.example/"});
    EXPECT_EQ(directory.Bootstrap(RdapRegistry::Domain).ServersFor("nic.io"),
              Urls{"https://refreshed.example/"});
    EXPECT_EQ(directory.ServersForIp("1.1.1.1"), Urls{});
}

TEST(RdapDirectory, ReplacingOneRegistryLeavesTheOthers)
{
    RdapDirectory directory = RdapDirectory::BuiltIn();
    const auto refreshed = RdapBootstrap::Parse(RdapRegistry::Autnum, R"({
        "version": "1.0", "publication": "2030-01-01T00:00:00Z",
        "services": [[["13335"], ["https://refreshed.example/"]]]})");
    ASSERT_TRUE(refreshed.has_value());
    directory.Replace(*refreshed);
    EXPECT_EQ(directory.ServersForAutnum(13335), Urls{"https://refreshed.example/"});
    EXPECT_EQ(directory.ServersForAutnum(205697), Urls{});
    EXPECT_EQ(directory.ServersForIp("1.1.1.1"), kApnic);
    EXPECT_EQ(directory.ServersForDomain("example.com"), kVerisignCom);
}

} // namespace
} // namespace whois
