// Drives the text operations with arbitrary bytes and arguments and checks properties that
// hold for every input: results made of the input's own bytes, lengths kept, no read outside.
#include "naming/ExtractDomain.h"
#include "naming/WhoisServerForDomain.h"
#include "text/TextBetween.h"
#include "text/TextOperations.h"

#include <fuzzer/FuzzedDataProvider.h>

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

std::optional<Position> MaybePosition(FuzzedDataProvider& data)
{
    if (!data.ConsumeBool()) {
        return std::nullopt;
    }
    // Mostly small positions, where the interesting boundaries are; sometimes any value.
    return data.ConsumeBool() ? data.ConsumeIntegralInRange<Position>(-3, 40)
                              : data.ConsumeIntegral<Position>();
}

std::optional<bool> MaybeBool(FuzzedDataProvider& data)
{
    if (!data.ConsumeBool()) {
        return std::nullopt;
    }
    return data.ConsumeBool();
}

bool IsSubstringAt(const Text& whole, const Text& part, std::size_t at)
{
    return at <= whole.size() && whole.compare(at, part.size(), part) == 0 &&
           part.size() <= whole.size() - at;
}

bool EndsInLoneLeadByte(const Text& text)
{
    std::size_t i = 0;
    std::size_t last = 0;
    while (i < text.size()) {
        last = i;
        i += CharWidthAt(text, i);
    }
    return !text.empty() && IsLeadByte(text[last]) && last + 1 == text.size();
}

void CheckSearches(const Text& text, const Text& sought, FuzzedDataProvider& data)
{
    const auto start = MaybePosition(data);
    const auto ignoreCase = MaybeBool(data);
    const Position found = FindText(text, sought, start, ignoreCase);
    Require(found == kNotFound || (found >= 1 && found <= TextLength(text)));
    if (found != kNotFound && !sought.empty() && !ignoreCase.value_or(false)) {
        Require(IsSubstringAt(text, sought, static_cast<std::size_t>(found - 1)));
    }

    const Position last = FindTextReverse(text, sought, start);
    Require(last == kNotFound || (last >= 1 && last <= TextLength(text)));
    if (last != kNotFound && !sought.empty()) {
        Require(IsSubstringAt(text, sought, static_cast<std::size_t>(last - 1)));
        if (start) {
            Require(last + TextLength(sought) <= *start);
        }
    }
}

void CheckCuts(const Text& text, FuzzedDataProvider& data)
{
    const Position count = data.ConsumeIntegral<Position>();
    const Position start = data.ConsumeIntegralInRange<Position>(-2, TextLength(text) + 2);

    const Text left = LeftText(text, count);
    Require(IsSubstringAt(text, left, 0));
    const Text right = RightText(text, count);
    Require(IsSubstringAt(text, right, text.size() - right.size()));
    const Text mid = MidText(text, start, count);
    Require(mid.empty() || IsSubstringAt(text, mid, static_cast<std::size_t>(start - 1)));
}

void CheckConversions(const Text& text, const Text& other)
{
    const Text lowered = ToLowerAscii(text);
    Require(lowered.size() == text.size());
    Require(ToLowerAscii(lowered) == lowered);

    // Trimming twice changes nothing, except where the text ended in half a two-byte
    // character: that byte goes alone and the spaces before it are trimmed the second time.
    const Text trimmed = TrimSpaces(text);
    Require(text.find(trimmed) != Text::npos);
    const Text twice = TrimSpaces(trimmed);
    if (EndsInLoneLeadByte(text)) {
        Require(trimmed.compare(0, twice.size(), twice) == 0);
    } else {
        Require(twice == trimmed);
    }

    Require(ReplaceText(text, other, other) == text);

    // Joining the pieces again gives the text back, less a final delimiter.
    const TextList pieces = SplitText(text, other);
    Text joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        joined += (i == 0 ? "" : other) + pieces[i];
    }
    Require(joined == text || (!other.empty() && joined + other == text));

    Require(CompareTexts(text, text) == 0);
    Require(CompareTexts(text, other) == -CompareTexts(other, text));
    Require(ConcatTexts({text, other}).size() == text.size() + other.size());
}

void CheckDomains(const Text& text, const Text& other, FuzzedDataProvider& data)
{
    // The query command's arguments never produce more than they were given.
    const Text domain = ExtractDomain(TrimSpaces(text), true, std::nullopt, 1);
    Require(domain.size() <= text.size());
    const Text server = WhoisServerForDomain(domain);
    Require(server.ends_with(WhoisDirectorySuffix));
    Require(domain.ends_with(
        std::string_view(server).substr(0, server.size() - WhoisDirectorySuffix.size())));

    const auto mainDomainOnly = MaybeBool(data);
    const auto keepPort = MaybeBool(data);
    const auto levels = MaybePosition(data);
    const Text any = ExtractDomain(text, mainDomainOnly, keepPort, levels);
    Require(any.size() <= text.size());

    const Text between = TextBetween(text, other, data.ConsumeRandomLengthString(8),
                                     MaybePosition(data), MaybeBool(data));
    Require(text.find(between) != Text::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const Text sought = data.ConsumeRandomLengthString(8);
    const Text text = data.ConsumeRandomLengthString(512);

    CheckSearches(text, sought, data);
    CheckCuts(text, data);
    CheckConversions(text, sought);
    CheckDomains(text, sought, data);
    return 0;
}
