#include "rdap/RdapOverrides.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace whois {
namespace {

// Names and URLs of the rows, or nothing for a table that must be refused.
using Rows = std::optional<std::vector<std::pair<std::string, std::string>>>;

struct TableCase : test::NamedCase {
    std::string_view table;
    Rows rows;
};

class RdapOverridesTest : public testing::TestWithParam<TableCase> {};

TEST_P(RdapOverridesTest, ReadsRows)
{
    const auto parsed = ParseRdapOverrides(GetParam().table);
    Rows rows;
    if (parsed) {
        rows.emplace();
        for (const RdapOverride& row : *parsed) {
            rows->emplace_back(row.name, row.baseUrl);
        }
    }
    EXPECT_EQ(rows, GetParam().rows);
}

using Row = std::pair<std::string, std::string>;

INSTANTIATE_TEST_SUITE_P(
    Cases, RdapOverridesTest,
    testing::Values(
        TableCase{{"HeaderAndSources"},
                  "tld\tbase_url\tsource\nio\thttps://a.example/rdap/\tsomewhere | elsewhere\n",
                  Rows{{Row{"io", "https://a.example/rdap/"}}}},
        TableCase{{"NoHeaderNoSource"},
                  "de\thttps://rdap.denic.de/",
                  Rows{{Row{"de", "https://rdap.denic.de/"}}}},
        TableCase{{"CrLfCommentsBlankLines"},
                  "# servers\r\n\r\nCH\thttps://rdap.nic.ch\r\nli\thttps://rdap.nic.li/\r\n",
                  Rows{{Row{"ch", "https://rdap.nic.ch/"}, Row{"li", "https://rdap.nic.li/"}}}},
        TableCase{{"Empty"}, "", Rows{std::vector<Row>{}}},
        TableCase{{"HeaderOnlyFirst"}, "io\thttps://a.example/\ntld\tbase_url\n", std::nullopt},
        TableCase{{"NoUrl"}, "io\n", std::nullopt},
        TableCase{{"OtherScheme"}, "io\tftp://a.example/\n", std::nullopt},
        TableCase{{"BadName"}, "i o\thttps://a.example/\n", std::nullopt},
        TableCase{{"SpacesForTab"}, "io https://a.example/\n", std::nullopt}),
    test::CaseName());

} // namespace
} // namespace whois
