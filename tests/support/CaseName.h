#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace whois::test {

// Base of every row of a parameterised table: the row's name, which names the test case
// and is what GoogleTest prints for the row.
struct NamedCase {
    const char* name;
};

template <typename Case>
requires std::is_base_of_v<NamedCase, Case>
void PrintTo(const Case& row, std::ostream* out)
{
    *out << row.name;
}

struct CaseName {
    template <typename Case> std::string operator()(const testing::TestParamInfo<Case>& row) const
    {
        return row.param.name;
    }
};

} // namespace whois::test
