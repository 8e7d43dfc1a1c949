// Feeds arbitrary bytes to the RDAP bootstrap parser and arbitrary queries to its matcher:
// no crash or sanitizer report, the same answer when parsed twice, and only http(s) base
// URLs ending in '/' ever handed out.
// Input: one byte choosing the registry, one byte giving the query's length, the query, and
// the rest as the file.
#include "rdap/RdapBootstrap.h"
#include "rdap/RdapDirectory.h"
#include "rdap/RdapOverrides.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Require(bool holds)
{
    if (!holds) {
        std::abort();
    }
}

void RequireBaseUrls(const std::vector<std::string>& urls)
{
    for (const std::string& url : urls) {
        std::string scheme = url.substr(0, url.find("://") + 3);
        for (char& c : scheme) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        Require(scheme == "http://" || scheme == "https://");
        Require(url.size() > scheme.size() && url.back() == '/');
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    using namespace whois;
    if (size < 2) {
        return 0;
    }
    const auto registry = kRdapRegistries[bytes[0] % kRdapRegistries.size()];
    const std::size_t queryLength = std::min<std::size_t>(bytes[1], size - 2);
    const std::string_view query(reinterpret_cast<const char*>(bytes + 2), queryLength);
    const std::string_view file(reinterpret_cast<const char*>(bytes + 2 + queryLength),
                                size - 2 - queryLength);

    static const RdapDirectory builtIn = RdapDirectory::BuiltIn();
    RequireBaseUrls(builtIn.ServersForDomain(query));
    RequireBaseUrls(builtIn.ServersForIp(query));

    if (const auto overrides = ParseRdapOverrides(file)) {
        for (const RdapOverride& row : *overrides) {
            Require(!row.name.empty() && row.baseUrl.back() == '/');
        }
    }

    const auto parsed = RdapBootstrap::Parse(registry, file);
    const auto again = RdapBootstrap::Parse(registry, file);
    Require(parsed.has_value() == again.has_value());
    if (!parsed) {
        return 0;
    }
    const std::vector<std::string> servers = parsed->ServersFor(query);
    Require(servers == again->ServersFor(query));
    Require(parsed->Publication() == again->Publication());
    RequireBaseUrls(servers);
    return 0;
}
