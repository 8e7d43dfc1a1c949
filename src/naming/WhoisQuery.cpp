#include "naming/WhoisQuery.h"

#include "naming/RegistrableDomain.h"
#include "naming/IdnaHostName.h"
#include "text/TextOperations.h"

#include <algorithm>

#include <arpa/inet.h>

namespace whois {
namespace {

bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsSchemeChar(char c)
{
    return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// A keyword query such as "domain example.com" or "-T dn example.com".
bool HasSpaceOrControl(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); i += CharWidthAt(text, i)) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte <= 0x20 || byte == 0x7F || IsFullWidthSpace(text, i)) {
            return true;
        }
    }
    return false;
}

// "scheme://" as web addresses spell it: a letter, then letters, digits, '+', '-' or '.'.
std::string_view WithoutScheme(std::string_view text)
{
    const std::size_t separator = text.find("://");
    if (separator == std::string_view::npos || separator == 0 || !IsAsciiLetter(text[0]) ||
        !std::all_of(text.begin(), text.begin() + separator, IsSchemeChar)) {
        return text;
    }
    return text.substr(separator + 3);
}

// Everything before the first '/', '?' or '#' that begins a character.
std::string_view Authority(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); i += CharWidthAt(text, i)) {
        if (text[i] == '/' || text[i] == '?' || text[i] == '#') {
            return text.substr(0, i);
        }
    }
    return text;
}

// The host of an authority: without "user@" and ":port"; an IPv6 literal without brackets.
std::string_view Host(std::string_view authority)
{
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        authority.remove_prefix(at + 1);
    }
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        return close == std::string_view::npos ? authority.substr(1)
                                               : authority.substr(1, close - 1);
    }
    if (std::count(authority.begin(), authority.end(), ':') > 1) {
        return authority; // a bare IPv6 address
    }
    return authority.substr(0, authority.find(':'));
}

bool IsIpAddress(const Text& host)
{
    unsigned char address[16];
    return inet_pton(AF_INET, host.c_str(), address) == 1 ||
           inet_pton(AF_INET6, host.c_str(), address) == 1;
}

} // namespace

Text WhoisQuery(std::string_view queryBoxText)
{
    const Text trimmed = TrimSpaces(queryBoxText);
    if (trimmed.empty() || HasSpaceOrControl(trimmed)) {
        return Text(queryBoxText);
    }

    std::string_view host = Host(Authority(WithoutScheme(trimmed)));
    while (host.ends_with('.')) {
        host.remove_suffix(1);
    }
    if (host.empty()) {
        return Text(queryBoxText);
    }
    if (IsIpAddress(Text(host))) {
        return Text(host);
    }
    const Text name = ToLowerAscii(host);

    const std::optional<std::string> ascii = IdnaHostName(name);
    const Text& lookupName = ascii ? *ascii : name;
    if (const auto domain = RegistrableDomain(lookupName)) {
        return *domain;
    }
    return lookupName;
}

Text WhoisRequestLine(std::string_view queryBoxText)
{
    return ConcatTexts({WhoisQuery(queryBoxText), "\r\n"});
}

} // namespace whois
