#include "naming/WhoisQuery.h"

#include "encoding/CodePageConversion.h"
#include "naming/IdnaHostName.h"
#include "naming/RegistrableDomain.h"

#include <algorithm>

#include <arpa/inet.h>

namespace whois {
namespace {

constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";

bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsSchemeChar(char c)
{
    return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '+' || c == '-' || c == '.';
}

char ToLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lower(std::string_view text)
{
    std::string lowered(text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), ToLower);
    return lowered;
}

// Without ASCII spaces and ideographic spaces (U+3000) at either end.
std::string_view Trim(std::string_view text)
{
    for (;;) {
        if (text.starts_with(' ')) {
            text.remove_prefix(1);
        } else if (text.starts_with(kIdeographicSpace)) {
            text.remove_prefix(kIdeographicSpace.size());
        } else if (text.ends_with(' ')) {
            text.remove_suffix(1);
        } else if (text.ends_with(kIdeographicSpace)) {
            text.remove_suffix(kIdeographicSpace.size());
        } else {
            return text;
        }
    }
}

// A keyword query such as "domain example.com" or "-T dn example.com". In UTF-8 every byte
// of a multibyte character is 0x80 or above, so the ASCII tests see only ASCII characters.
bool HasSpaceOrControl(std::string_view text)
{
    return text.find(kIdeographicSpace) != std::string_view::npos ||
           std::any_of(text.begin(), text.end(), [](char c) {
               const auto byte = static_cast<unsigned char>(c);
               return byte <= 0x20 || byte == 0x7F;
           });
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

// Everything before the first '/', '?' or '#'.
std::string_view Authority(std::string_view text)
{
    return text.substr(0, text.find_first_of("/?#"));
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

bool IsIpAddress(const std::string& host)
{
    unsigned char address[16];
    return inet_pton(AF_INET, host.c_str(), address) == 1 ||
           inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// "as15169" or "AS15169": an autonomous system number.
bool IsAsNumber(std::string_view text)
{
    return text.size() > 2 && text.size() <= 12 && (text[0] == 'a' || text[0] == 'A') &&
           (text[1] == 's' || text[1] == 'S') &&
           std::all_of(text.begin() + 2, text.end(), IsAsciiDigit);
}

bool IsLabelChar(char c)
{
    return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '-';
}

std::string Cp936ToUtf8(std::string_view text)
{
    return Utf16ToMultiByte(MultiByteToUtf16(text, CodePage::Cp936), CodePage::Utf8);
}

} // namespace

std::string WhoisQueryFromUtf8(std::string_view typed)
{
    const std::string_view trimmed = Trim(typed);
    if (trimmed.empty() || HasSpaceOrControl(trimmed)) {
        return std::string(typed);
    }

    std::string_view host = Host(Authority(WithoutScheme(trimmed)));
    while (host.ends_with('.')) {
        host.remove_suffix(1);
    }
    // ".io" asks for the top-level domain itself.
    if (host.starts_with('.') && host.find('.', 1) == std::string_view::npos) {
        host.remove_prefix(1);
    }
    if (host.empty()) {
        return std::string(typed);
    }
    if (IsIpAddress(std::string(host))) {
        return std::string(host);
    }
    if (IsAsNumber(host)) {
        return "AS" + std::string(host.substr(2));
    }
    const std::string name = Lower(host);
    const std::optional<std::string> ascii = IdnaHostNameFromUtf8(name);
    const std::string& lookupName = ascii ? *ascii : name;
    // IDNA drops some characters (U+034F and other invisible ones): what is left may be an
    // AS number or an address, asked for as one.
    if (IsAsNumber(lookupName)) {
        return "AS" + lookupName.substr(2);
    }
    if (IsIpAddress(lookupName)) {
        return lookupName;
    }
    // A name of one or two labels is its own registrable domain or a public suffix; either
    // way it is asked as it is, so the list (slow to load) is not needed for it.
    if (std::count(lookupName.begin(), lookupName.end(), '.') < 2) {
        return lookupName;
    }
    if (const auto domain = RegistrableDomain(lookupName)) {
        return *domain;
    }
    return lookupName;
}

Text WhoisQuery(std::string_view queryBoxText)
{
    const std::string utf8 = Cp936ToUtf8(queryBoxText);
    std::string query = WhoisQueryFromUtf8(utf8);
    // What goes out as typed stays in the code page it was typed in.
    return query == utf8 ? Text(queryBoxText) : query;
}

Text WhoisRequestLine(std::string_view queryBoxText)
{
    return WhoisQuery(queryBoxText) + "\r\n";
}

QueryKind KindOfQuery(std::string_view request)
{
    if (request.empty() || HasSpaceOrControl(request)) {
        return QueryKind::Keyword;
    }
    if (IsIpAddress(std::string(request))) {
        return QueryKind::IpAddress;
    }
    if (IsAsNumber(request)) {
        return QueryKind::AsNumber;
    }
    if (!std::all_of(request.begin(), request.end(),
                     [](char c) { return IsLabelChar(c) || c == '.'; })) {
        return QueryKind::Keyword;
    }
    return request.find('.') == std::string_view::npos ? QueryKind::TopLevelDomain
                                                       : QueryKind::Domain;
}

} // namespace whois
