#include "rdap/RdapNames.h"

#include <algorithm>

namespace whois {
namespace {

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsLabelByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

bool StartsWithLower(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size()) {
        return false;
    }
    return std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char p, char t) { return p == Lower(t); });
}

} // namespace

std::optional<std::string> NormalizedRdapDomain(std::string_view name)
{
    if (!name.empty() && name.back() == '.') {
        name.remove_suffix(1);
    }
    if (name.empty() || name.size() > 253) {
        return std::nullopt;
    }
    std::string normalized;
    normalized.reserve(name.size());
    char previous = '.';
    for (const char c : name) {
        const char lower = Lower(c);
        if (lower == '.' ? previous == '.' : !IsLabelByte(lower)) {
            return std::nullopt;
        }
        normalized += lower;
        previous = lower;
    }
    return normalized;
}

std::optional<std::string> RdapBaseUrl(std::string_view url)
{
    std::size_t schemeLength = 0;
    if (StartsWithLower(url, "https://")) {
        schemeLength = 8;
    } else if (StartsWithLower(url, "http://")) {
        schemeLength = 7;
    } else {
        return std::nullopt;
    }
    if (url.size() == schemeLength || url[schemeLength] == '/') {
        return std::nullopt;
    }
    const bool clean = std::all_of(url.begin(), url.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > 0x20 && byte != 0x7F;
    });
    if (!clean) {
        return std::nullopt;
    }
    std::string base(url);
    if (base.back() != '/') {
        base += '/';
    }
    return base;
}

bool IsHttpsUrl(std::string_view url)
{
    return StartsWithLower(url, "https://");
}

} // namespace whois
