#include "net/SystemResolver.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

namespace whois {
namespace {

// Only names the machine knows without asking a name server.
struct SystemCase : test::NamedCase {
    std::string host;
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
                                         SystemCase{"Empty", "", std::nullopt}),
                         test::CaseName());

} // namespace
} // namespace whois
