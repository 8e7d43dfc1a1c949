#include "rdap/RdapOverrides.h"

#include "rdap/RdapNames.h"

namespace whois {
namespace {

// The text up to the next `separator` (all of it when there is none); `text` keeps the rest.
std::string_view TakeField(std::string_view& text, char separator)
{
    const std::size_t end = text.find(separator);
    const std::string_view field = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    return field;
}

} // namespace

std::optional<std::vector<RdapOverride>> ParseRdapOverrides(std::string_view table)
{
    std::vector<RdapOverride> overrides;
    bool firstLine = true;
    while (!table.empty()) {
        std::string_view line = TakeField(table, '\n');
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const bool header = firstLine && line.starts_with("tld\t");
        firstLine = false;
        if (line.empty() || line.front() == '#' || header) {
            continue;
        }
        auto name = NormalizedRdapDomain(TakeField(line, '\t'));
        auto baseUrl = RdapBaseUrl(TakeField(line, '\t'));
        if (!name || !baseUrl) {
            return std::nullopt;
        }
        overrides.push_back({std::move(*name), std::move(*baseUrl)});
    }
    return overrides;
}

} // namespace whois
