#include "lookup/NextWhoisServer.h"

#include "lookup/FindReferralServer.h"

#include <algorithm>
#include <optional>

namespace whois {
namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view TrimmedValue(std::string_view value)
{
    while (!value.empty() && IsSpace(value.front())) {
        value.remove_prefix(1);
    }
    while (!value.empty() && IsSpace(value.back())) {
        value.remove_suffix(1);
    }
    return value;
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithKey(std::string_view line, std::string_view key)
{
    return line.size() >= key.size() &&
           std::equal(key.begin(), key.end(), line.begin(),
                      [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

// The value of the last line that starts with `key` ("refer:"), letter case ignored; nothing
// when no line has the key.
std::optional<std::string_view> LastValue(std::string_view answer, std::string_view key)
{
    std::optional<std::string_view> found;
    std::size_t begin = 0;
    while (begin < answer.size()) {
        std::size_t end = answer.find('\n', begin);
        if (end == std::string_view::npos) {
            end = answer.size();
        }
        const std::string_view line = answer.substr(begin, end - begin);
        if (StartsWithKey(line, key)) {
            found = TrimmedValue(line.substr(key.size()));
        }
        begin = end + 1;
    }
    return found;
}

// A host name as a referral may carry it: letters, digits, '-', '.', nothing else.
bool IsHostName(std::string_view host)
{
    return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.';
    });
}

// Whether the name of the field on `line` (what comes before its first colon) ends with
// `name`, letter case ignored: "Registrar WHOIS Server:" is a "whois server" line.
bool FieldEndsWith(std::string_view line, std::string_view name)
{
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon < name.size()) {
        return false;
    }
    return StartsWithKey(line.substr(colon - name.size()), name);
}

} // namespace

Text ReferralHint(std::string_view lines, bool fromIana)
{
    std::size_t begin = 0;
    while (begin < lines.size()) {
        std::size_t end = lines.find('\n', begin);
        end = end == std::string_view::npos ? lines.size() : end + 1;
        const std::string_view line = lines.substr(begin, end - begin);
        begin = end;
        const bool named =
            FieldEndsWith(line, "whois server") || FieldEndsWith(line, "referralserver") ||
            (fromIana && (StartsWithKey(line, "refer:") || StartsWithKey(line, "whois:")));
        if (named) {
            if (Text server = NextWhoisServer(line, fromIana); !server.empty()) {
                return server;
            }
        }
    }
    return {};
}

Text IanaReferral(std::string_view answer)
{
    for (const std::string_view key : {"refer:", "whois:"}) {
        if (const auto value = LastValue(answer, key)) {
            return IsHostName(*value) ? Text(*value) : Text();
        }
    }
    return {};
}

Text AddressRegistryReferral(std::string_view answer)
{
    const auto value = LastValue(answer, "ReferralServer:");
    constexpr std::string_view kScheme = "whois://";
    if (!value || !StartsWithKey(*value, kScheme)) {
        return {};
    }
    std::string_view host = value->substr(kScheme.size());
    host = host.substr(0, host.find('/'));
    const std::size_t colon = host.find(':');
    if (colon != std::string_view::npos) {
        if (host.substr(colon + 1) != "43") {
            return {};
        }
        host = host.substr(0, colon);
    }
    return IsHostName(host) ? Text(host) : Text();
}

Text NextWhoisServer(std::string_view answer, bool fromIana)
{
    Text server = FindReferralServer(answer);
    if (server.empty() && fromIana) {
        server = IanaReferral(answer);
    }
    if (server.empty()) {
        server = AddressRegistryReferral(answer);
    }
    return server;
}

} // namespace whois
