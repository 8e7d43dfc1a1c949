#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace whois::test {

// A file of tests/data/rdap-samples as its bytes.
inline std::string ReadRdapSample(std::string_view name)
{
    std::ifstream in(std::filesystem::path(WHOIS_RDAP_SAMPLES_DIR) / name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The LF-ended lines of a text; a last line without LF counts too.
inline std::vector<std::string> TextLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end; (end = text.find('\n', from)) != std::string_view::npos; from = end + 1) {
        lines.emplace_back(text.substr(from, end - from));
    }
    if (from < text.size()) {
        lines.emplace_back(text.substr(from));
    }
    return lines;
}

// Fails unless every expected line is a whole line of `text`, in the order given.
inline void ExpectLinesInOrder(std::string_view text, const std::vector<std::string>& expected)
{
    const auto lines = TextLines(text);
    auto next = lines.begin();
    for (const std::string& line : expected) {
        const auto found = std::find(next, lines.end(), line);
        if (found == lines.end()) {
            ADD_FAILURE() << "missing, or out of order: \"" << line << "\"\nin:\n" << text;
            return;
        }
        next = found + 1;
    }
}

} // namespace whois::test
