#include "rdap/RdapBootstrap.h"

#include "rdap/RdapNames.h"

#include <nlohmann/json.hpp>

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace whois {
namespace {

// Far beyond any real bootstrap file (IANA's largest is under 100 KiB).
constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;

std::optional<std::uint32_t> ParseNumber(std::string_view digits)
{
    std::uint32_t value = 0;
    if (digits.empty() || digits.front() == '+' || digits.front() == '-') {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

// Reads `count` digits at `at` into `value`.
bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value)
{
    if (at + count > text.size()) {
        return false;
    }
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// An RFC 3339 date-time ("2026-07-23T02:00:03Z", fractions and offsets allowed) as UTC.
std::optional<std::chrono::sys_seconds> ParseDateTime(std::string_view text)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!Digits(text, 0, 4, year) || text.size() < 20 || text[4] != '-' ||
        !Digits(text, 5, 2, month) || text[7] != '-' || !Digits(text, 8, 2, day) ||
        (text[10] != 'T' && text[10] != 't' && text[10] != ' ') || !Digits(text, 11, 2, hour) ||
        text[13] != ':' || !Digits(text, 14, 2, minute) || text[16] != ':' ||
        !Digits(text, 17, 2, second)) {
        return std::nullopt;
    }
    std::size_t at = 19;
    if (text[at] == '.') {
        const std::size_t end = text.find_first_not_of("0123456789", at + 1);
        if (end == at + 1 || end == std::string_view::npos) {
            return std::nullopt;
        }
        at = end;
    }
    int offsetMinutes = 0;
    const std::string_view zone = text.substr(at);
    if (zone != "Z" && zone != "z") {
        int offsetHours = 0, offsetRest = 0;
        if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') ||
            !Digits(zone, 1, 2, offsetHours) || zone[3] != ':' || !Digits(zone, 4, 2, offsetRest) ||
            offsetHours > 23 || offsetRest > 59) {
            return std::nullopt;
        }
        offsetMinutes = (zone[0] == '-' ? -1 : 1) * (offsetHours * 60 + offsetRest);
    }
    const std::chrono::year_month_day date{std::chrono::year(year),
                                           std::chrono::month(static_cast<unsigned>(month)),
                                           std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok() || hour > 23 || minute > 59 || second > 60) {
        return std::nullopt;
    }
    return std::chrono::sys_days(date) + std::chrono::hours(hour) +
           std::chrono::minutes(minute - offsetMinutes) + std::chrono::seconds(second);
}

// "address/length" split, the length checked against `maxLength`; a missing length is the
// whole address when `lengthOptional`.
bool SplitPrefix(std::string_view text, int maxLength, bool lengthOptional, std::string& address,
                 int& length)
{
    if (text.find('\0') != std::string_view::npos) {
        return false;
    }
    const std::size_t slash = text.find('/');
    address.assign(text.substr(0, slash));
    if (slash == std::string_view::npos) {
        length = maxLength;
        return lengthOptional;
    }
    const auto parsed = ParseNumber(text.substr(slash + 1));
    if (!parsed || *parsed > static_cast<std::uint32_t>(maxLength)) {
        return false;
    }
    length = static_cast<int>(*parsed);
    return true;
}

std::uint32_t Ipv4Mask(int length)
{
    return length == 0 ? 0 : ~std::uint32_t{0} << (32 - length);
}

std::optional<std::uint32_t> ParseIpv4(const std::string& address)
{
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
        return std::nullopt;
    }
    return ntohl(parsed.s_addr);
}

std::optional<std::array<std::uint8_t, 16>> ParseIpv6(const std::string& address)
{
    in6_addr parsed{};
    if (inet_pton(AF_INET6, address.c_str(), &parsed) != 1) {
        return std::nullopt;
    }
    std::array<std::uint8_t, 16> bytes{};
    std::memcpy(bytes.data(), &parsed, bytes.size());
    return bytes;
}

// Whether `address` starts with the first `length` bits of `network`.
bool SharesPrefix(const std::array<std::uint8_t, 16>& network,
                  const std::array<std::uint8_t, 16>& address, int length)
{
    const auto whole = static_cast<std::size_t>(length / 8);
    if (!std::equal(network.begin(), network.begin() + static_cast<std::ptrdiff_t>(whole),
                    address.begin())) {
        return false;
    }
    const int rest = length % 8;
    if (rest == 0) {
        return true;
    }
    const auto mask = static_cast<std::uint8_t>(0xFF << (8 - rest));
    return (network[whole] & mask) == (address[whole] & mask);
}

void ClearHostBits(std::array<std::uint8_t, 16>& network, int length)
{
    for (int bit = length; bit < 128; ++bit) {
        const auto index = static_cast<std::size_t>(bit / 8);
        network[index] = static_cast<std::uint8_t>(network[index] & ~(0x80 >> (bit % 8)));
    }
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> ParseAutnumRange(std::string_view text)
{
    const std::size_t dash = text.find('-');
    const auto first = ParseNumber(text.substr(0, dash));
    const auto last = dash == std::string_view::npos ? first : ParseNumber(text.substr(dash + 1));
    if (!first || !last || *first > *last) {
        return std::nullopt;
    }
    return std::pair{*first, *last};
}

} // namespace

std::optional<RdapBootstrap> RdapBootstrap::Parse(RdapRegistry registry, std::string_view json)
{
    if (json.size() > kMaxFileSize) {
        return std::nullopt;
    }
    const nlohmann::json document = nlohmann::json::parse(json.begin(), json.end(), nullptr,
                                                          /*allow_exceptions=*/false);
    if (!document.is_object()) {
        return std::nullopt;
    }
    const auto version = document.find("version");
    const auto publication = document.find("publication");
    const auto services = document.find("services");
    if (version == document.end() || !version->is_string() ||
        version->get_ref<const std::string&>() != "1.0" || publication == document.end() ||
        !publication->is_string() || services == document.end() || !services->is_array()) {
        return std::nullopt;
    }

    RdapBootstrap bootstrap(registry);
    bootstrap.publication_ = publication->get_ref<const std::string&>();
    const auto time = ParseDateTime(bootstrap.publication_);
    if (!time) {
        return std::nullopt;
    }
    bootstrap.publicationTime_ = *time;

    for (const nlohmann::json& service : *services) {
        if (!service.is_array() || service.size() < 2 || !service[0].is_array() ||
            !service[1].is_array()) {
            return std::nullopt;
        }
        std::vector<std::string> urls;
        for (const nlohmann::json& url : service[1]) {
            if (!url.is_string()) {
                return std::nullopt;
            }
            if (auto base = RdapBaseUrl(url.get_ref<const std::string&>())) {
                urls.push_back(std::move(*base));
            }
        }
        std::stable_partition(urls.begin(), urls.end(),
                              [](const std::string& url) { return IsHttpsUrl(url); });
        const std::size_t index = bootstrap.services_.size();
        for (const nlohmann::json& entry : service[0]) {
            if (!entry.is_string() || !bootstrap.AddEntry(entry.get_ref<const std::string&>(),
                                                          urls.empty() ? SIZE_MAX : index)) {
                return std::nullopt;
            }
        }
        if (!urls.empty()) {
            bootstrap.services_.push_back(std::move(urls));
        }
    }
    bootstrap.Index();
    return bootstrap;
}

RdapBootstrap RdapBootstrap::Empty(RdapRegistry registry)
{
    return RdapBootstrap(registry);
}

// Records one entry of the file for `service`; SIZE_MAX marks a service offering no usable
// URL, whose entries are checked and then left out. False when the entry is malformed.
bool RdapBootstrap::AddEntry(std::string_view entry, std::size_t service)
{
    const bool keep = service != SIZE_MAX;
    std::string address;
    int length = 0;
    switch (registry_) {
    case RdapRegistry::Domain: {
        auto name = NormalizedRdapDomain(entry);
        if (!name || (!entry.empty() && entry.back() == '.')) {
            return false;
        }
        if (keep) {
            domains_.try_emplace(std::move(*name), service);
        }
        return true;
    }
    case RdapRegistry::Ipv4: {
        if (!SplitPrefix(entry, 32, false, address, length)) {
            return false;
        }
        const auto network = ParseIpv4(address);
        if (network && keep) {
            ipv4_.push_back({*network & Ipv4Mask(length), length, service});
        }
        return network.has_value();
    }
    case RdapRegistry::Ipv6: {
        if (!SplitPrefix(entry, 128, false, address, length)) {
            return false;
        }
        auto network = ParseIpv6(address);
        if (network && keep) {
            ClearHostBits(*network, length);
            ipv6_.push_back({*network, length, service});
        }
        return network.has_value();
    }
    case RdapRegistry::Autnum: {
        const auto range = ParseAutnumRange(entry);
        if (range && keep) {
            autnums_.push_back({range->first, range->second, service});
        }
        return range.has_value();
    }
    }
    return false;
}

// Orders the prefixes longest first and the ranges narrowest first, so the first that holds
// a query is the best; ties keep the file's order.
void RdapBootstrap::Index()
{
    std::stable_sort(ipv4_.begin(), ipv4_.end(),
                     [](const Ipv4Prefix& a, const Ipv4Prefix& b) { return a.length > b.length; });
    std::stable_sort(ipv6_.begin(), ipv6_.end(),
                     [](const Ipv6Prefix& a, const Ipv6Prefix& b) { return a.length > b.length; });
    std::stable_sort(autnums_.begin(), autnums_.end(),
                     [](const AutnumRange& a, const AutnumRange& b) {
                         return a.last - a.first < b.last - b.first;
                     });
}

std::vector<std::string> RdapBootstrap::ServersFor(std::string_view query) const
{
    std::optional<std::size_t> service;
    switch (registry_) {
    case RdapRegistry::Domain:
        service = DomainService(query);
        break;
    case RdapRegistry::Ipv4:
        service = Ipv4Service(query);
        break;
    case RdapRegistry::Ipv6:
        service = Ipv6Service(query);
        break;
    case RdapRegistry::Autnum:
        service = AutnumService(query);
        break;
    }
    if (!service) {
        return {};
    }
    return services_[*service];
}

std::optional<std::size_t> RdapBootstrap::DomainService(std::string_view query) const
{
    const auto name = NormalizedRdapDomain(query);
    if (!name) {
        return std::nullopt;
    }
    std::string_view suffix = *name;
    while (true) {
        if (const auto found = domains_.find(std::string(suffix)); found != domains_.end()) {
            return found->second;
        }
        const std::size_t dot = suffix.find('.');
        if (dot == std::string_view::npos) {
            return std::nullopt;
        }
        suffix.remove_prefix(dot + 1);
    }
}

std::optional<std::size_t> RdapBootstrap::Ipv4Service(std::string_view query) const
{
    std::string address;
    int length = 0;
    if (!SplitPrefix(query, 32, true, address, length)) {
        return std::nullopt;
    }
    const auto value = ParseIpv4(address);
    if (!value) {
        return std::nullopt;
    }
    for (const Ipv4Prefix& prefix : ipv4_) {
        if (prefix.length <= length && (*value & Ipv4Mask(prefix.length)) == prefix.network) {
            return prefix.service;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> RdapBootstrap::Ipv6Service(std::string_view query) const
{
    std::string address;
    int length = 0;
    if (!SplitPrefix(query, 128, true, address, length)) {
        return std::nullopt;
    }
    const auto value = ParseIpv6(address);
    if (!value) {
        return std::nullopt;
    }
    for (const Ipv6Prefix& prefix : ipv6_) {
        if (prefix.length <= length && SharesPrefix(prefix.network, *value, prefix.length)) {
            return prefix.service;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> RdapBootstrap::AutnumService(std::string_view query) const
{
    if (query.size() > 2 && (query[0] == 'A' || query[0] == 'a') &&
        (query[1] == 'S' || query[1] == 's')) {
        query.remove_prefix(2);
    }
    const auto number = ParseNumber(query);
    if (!number) {
        return std::nullopt;
    }
    for (const AutnumRange& range : autnums_) {
        if (range.first <= *number && *number <= range.last) {
            return range.service;
        }
    }
    return std::nullopt;
}

RdapBootstrap RdapBootstrap::Overlaid(std::span<const RdapOverride> overrides) const
{
    RdapBootstrap overlaid = *this;
    if (registry_ != RdapRegistry::Domain) {
        return overlaid;
    }
    for (const RdapOverride& entry : overrides) {
        overlaid.domains_.insert_or_assign(entry.name, overlaid.services_.size());
        overlaid.services_.push_back({entry.baseUrl});
    }
    return overlaid;
}

} // namespace whois
