// Drives the normalisation of what the user typed into a whois request with arbitrary bytes:
// no crash or sanitizer report from the Public Suffix List, IDNA or address parsing, one
// request line whatever was typed, and no stray spaces or control bytes in a site's query.
#include "naming/WhoisQuery.h"
#include "text/TextOperations.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void Require(bool holds)
{
    if (!holds) {
        std::abort();
    }
}

bool HasSpaceOrControl(std::string_view text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    using namespace whois;
    const std::string_view typed(reinterpret_cast<const char*>(bytes), size);
    const Text query = WhoisQuery(typed);
    Require(WhoisRequestLine(typed) == query + "\r\n");
    Require(WhoisQuery(typed) == query);

    // A site (no inner spaces or control bytes) becomes a query without them too.
    const Text trimmed = TrimSpaces(typed);
    if (!trimmed.empty() && !HasSpaceOrControl(trimmed) && trimmed.find("\xA1\xA1") == Text::npos) {
        Require(!HasSpaceOrControl(query) || query == typed);
    }

    // The same text taken as UTF-8: one request, stable, and a kind that agrees with it.
    const std::string request = WhoisQueryFromUtf8(typed);
    Require(WhoisQueryFromUtf8(typed) == request);
    const QueryKind kind = KindOfQuery(request);
    if (kind == QueryKind::AsNumber) {
        Require(request.starts_with("AS"));
    }
    if (kind == QueryKind::Domain || kind == QueryKind::TopLevelDomain) {
        Require(!HasSpaceOrControl(request));
    }
    return 0;
}
