#include "naming/IdnaHostName.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace whois
