#include "net/IdnaHostName.h"
#include "net/SystemResolver.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

namespace whois {
namespace {

// Host names as typed in code page 936 and the names the DNS is asked for.
struct IdnaCase : test::NamedCase {
    Text host;
    std::optional<std::string> ascii;
};

class IdnaHostNameTest : public testing::TestWithParam<IdnaCase> {};

TEST_P(IdnaHostNameTest, GivesTheDnsName)
{
    EXPECT_EQ(IdnaHostName(GetParam().host), GetParam().ascii);
}

INSTANTIATE_TEST_SUITE_P(
    Names, IdnaHostNameTest,
    testing::Values(IdnaCase{"AsciiUnchanged", "com.whois-servers.net", "com.whois-servers.net"},
                    IdnaCase{"AsciiCaseKept", "Whois.Example.COM", "Whois.Example.COM"},
                    IdnaCase{"ChineseLabels", "\xC0\xFD\xD7\xD3.\xD6\xD0\xB9\xFA",
                             "xn--fsqu00a.xn--fiqs8s"},
                    IdnaCase{"MixedLabels", "www.\xC0\xFD\xD7\xD3.COM", "www.xn--fsqu00a.com"},
                    IdnaCase{"IdeographicFullStop", "\xC0\xFD\xD7\xD3\xA1\xA3\xD6\xD0\xB9\xFA",
                             "xn--fsqu00a.xn--fiqs8s"},
                    IdnaCase{"LoneLeadByte", "example.\x81", std::nullopt},
                    IdnaCase{"UnmappedPair", "\xFF\xFF.com", std::nullopt},
                    IdnaCase{"Empty", "", std::nullopt},
                    IdnaCase{"FarTooLong", std::string(5000, '\xC0'), std::nullopt},
                    IdnaCase{"ZeroByte", Text("a\0b.com", 7), std::nullopt}),
    test::CaseName());

// Only names the machine knows without asking a name server.
struct SystemCase : test::NamedCase {
    Text host;
    std::optional<std::string> dotted;
};

class SystemResolverTest : public testing::TestWithParam<SystemCase> {};

TEST_P(SystemResolverTest, ResolvesToTheFirstIpv4Address)
{
    SystemResolver resolver;
    const std::optional<in_addr> address = resolver.Resolve(GetParam().host);
    ASSERT_EQ(address.has_value(), GetParam().dotted.has_value());
    if (address) {
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &*address, text, sizeof text);
        EXPECT_EQ(text, *GetParam().dotted);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, SystemResolverTest,
                         testing::Values(SystemCase{"Localhost", "localhost", "127.0.0.1"},
                                         SystemCase{"DottedAddress", "127.0.0.7", "127.0.0.7"},
                                         SystemCase{"NotConvertible", "\xFF\xFF.com", std::nullopt},
                                         SystemCase{"Empty", "", std::nullopt}),
                         test::CaseName());

} // namespace
} // namespace whois
