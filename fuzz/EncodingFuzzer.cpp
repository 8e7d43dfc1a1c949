// Drives decoding, referral extraction and the regular-expression search with arbitrary
// bytes, patterns and flags, and checks properties that hold for every input: decoding
// drops nothing but what it must, the referral equals a plain scan of the text, and every
// match lies where its position says.
#include "encoding/CodePageConversion.h"
#include "encoding/DecodeResponse.h"
#include "encoding/RegexSearch.h"
#include "lookup/FindReferralServer.h"
#include "lookup/NextWhoisServer.h"
#include "text/TextOperations.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

using namespace whois;

void Require(bool holds)
{
    if (!holds) {
        std::abort();
    }
}

std::string_view UpToFirstZero(std::string_view bytes)
{
    return bytes.substr(0, bytes.find('\0'));
}

// A code page 936 text through UTF-16 and back; the text itself when all of it converts.
Text RoundTrip(std::string_view text)
{
    return Utf16ToMultiByte(MultiByteToUtf16(text, CodePage::Cp936), CodePage::Cp936);
}

bool IsSpaceClass(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r' || byte == '\f' ||
           byte == '\v';
}

// "Whois Server:(.+?)\s" with letter case ignored, walked by hand over a code page 936 text:
// the trimmed group 1 of the last match.
Text ReferralByScan(std::string_view text)
{
    constexpr std::string_view kWords = "whois server:";
    Text found;
    std::size_t i = 0;
    while (i < text.size()) {
        if (ToLowerAscii(text.substr(i, kWords.size())) != kWords) {
            i += CharWidthAt(text, i);
            continue;
        }
        const std::size_t group = i + kWords.size();
        if (group >= text.size() || text[group] == '\n') {
            i += CharWidthAt(text, i);
            continue;
        }
        std::size_t end = group + CharWidthAt(text, group);
        while (end < text.size() && !IsSpaceClass(text[end])) {
            end += CharWidthAt(text, end);
        }
        if (end >= text.size()) {
            break;
        }
        found = TrimSpaces(text.substr(group, end - group));
        i = end + 1;
    }
    return found;
}

void CheckDecoding(std::string_view received)
{
    const std::string_view read = UpToFirstZero(received);
    const Text decoded = DecodeResponse(received);
    Require(decoded.find('\0') == Text::npos);
    // Every UTF-8 sequence or invalid byte gives one or two bytes, never more than it took.
    Require(decoded.size() <= read.size());
    if (std::all_of(read.begin(), read.end(), [](char b) { return (b & 0x80) == 0; })) {
        Require(decoded == read);
    }
    // What decoding writes is whole code page 936 characters that convert back unchanged.
    Require(RoundTrip(decoded) == decoded);

    const Text referral = FindReferralServer(decoded);
    // Every referral rule gives a server name or nothing, and the first rule decides.
    for (const bool fromIana : {false, true}) {
        const Text next = NextWhoisServer(decoded, fromIana);
        Require(referral.empty() || next == referral);
        Require(next.find('\n') == Text::npos);
    }
    Require(referral == ReferralByScan(decoded));
    Require(referral.empty() || decoded.find(referral) != Text::npos);
}

void CheckSearch(std::string_view pattern, std::string_view subject, FuzzedDataProvider& data)
{
    const auto flag = [&data]() -> std::optional<bool> {
        const auto value = data.ConsumeIntegralInRange<int>(0, 2);
        return value == 2 ? std::nullopt : std::optional<bool>(value == 1);
    };
    const auto caseSensitive = flag();
    const auto multiLine = flag();
    const auto global = flag();
    const auto quoteMarker = flag();

    RegexSearch search;
    const bool compiled =
        search.Search(pattern, subject, caseSensitive, multiLine, global, quoteMarker);
    const Text expectedPattern =
        RoundTrip(quoteMarker.value_or(false) ? ReplaceText(pattern, "#\xD2\xFD\xBA\xC5", "\"")
                                              : Text(pattern));
    Require(search.GetPattern() == UpToFirstZero(expectedPattern));

    const std::int32_t count = search.MatchCount();
    Require(count >= 0 && (compiled || count == 0));
    Require(global.value_or(true) || count <= 1);
    Require(count <= static_cast<std::int32_t>(UpToFirstZero(subject).size()) + 1);
    if (!compiled) {
        Require(search.ReplaceMatches("$&").empty());
        return;
    }

    // Replacing every match by itself gives the subject back, as the engine saw it.
    const Text seen = RoundTrip(subject);
    Require(search.ReplaceMatches("$&") == seen);

    // Where the subject converts unchanged, each match and group lies at its position.
    const bool exact = seen == UpToFirstZero(subject);
    const std::unique_ptr<RegexSearch> copy = search.Copy();
    Position previous = 0;
    for (std::int32_t i = 1; i <= std::min(count, 40); ++i) {
        Position position = -1;
        const Text text = copy->MatchText(i, &position);
        Require(position >= previous && position <= static_cast<Position>(seen.size()));
        previous = position;
        if (exact) {
            Require(seen.compare(static_cast<std::size_t>(position), text.size(), text) == 0);
        }
        for (std::int32_t group = 1; group <= std::min(copy->SubMatchCount(), 8); ++group) {
            Position at = -1;
            const Text part = copy->SubMatchText(i, group, &at);
            Require(at >= 0 && at <= static_cast<Position>(seen.size()));
            if (exact) {
                Require(seen.compare(static_cast<std::size_t>(at), part.size(), part) == 0);
            }
        }
    }
    Require(copy->MatchText(count + 1).empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const std::string pattern = data.ConsumeRandomLengthString(64);
    const std::string subject = data.ConsumeRandomLengthString(256);
    CheckSearch(pattern, subject, data);
    CheckDecoding(data.ConsumeRemainingBytesAsString());
    return 0;
}
