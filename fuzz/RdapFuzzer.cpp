// Drives the RDAP renderers with arbitrary bytes as the answer: no crash, sanitizer report or
// runaway recursion, and texts made of whole UTF-8 lines with no control byte but LF, so an
// answer can never forge or break a line of the window's text.
#include "rdap/RdapErrorText.h"
#include "rdap/RdapLinks.h"
#include "rdap/RdapText.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Require(bool holds)
{
    if (!holds) {
        std::abort();
    }
}

bool IsUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x6  ? 2
                                   : (lead >> 4) == 0xE  ? 3
                                   : (lead >> 3) == 0x1E ? 4
                                                         : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

void RequireWholeCleanLines(std::string_view text)
{
    Require(!text.empty() && text.back() == '\n');
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        Require(c == '\n' || (byte >= 0x20 && byte != 0x7F));
    }
    Require(IsUtf8(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    using namespace whois;
    const std::string_view answer(reinterpret_cast<const char*>(bytes), size);
    constexpr std::string_view url = "https://rdap.example/domain/example.com";

    const auto text = RdapToText(answer, url);
    if (text) {
        Require(text->starts_with("% RDAP " + std::string(url) + "\n"));
        RequireWholeCleanLines(*text);
    } else {
        Require(RdapObjectKindOf(answer) == RdapObjectKind::Other);
    }

    const std::string link = RdapRelatedLink(answer);
    Require(link.empty() || text.has_value());

    const int status = size % 2 == 0 ? 404 : 400 + static_cast<int>(size % 200);
    const std::string error = RdapErrorText(status, answer, "example.com");
    Require(status != 404 || error.starts_with("No match for \"example.com\".\n"));
    RequireWholeCleanLines(error);
    return 0;
}
