#include "text/TextBetween.h"

#include "text/QuoteMarker.h"
#include "text/TextOperations.h"

namespace whois {

Text TextBetween(std::string_view text, std::string_view left, std::string_view right,
                 std::optional<Position> start, std::optional<bool> ignoreCase)
{
    const Text leftMarker = ReplaceText(left, kQuoteMarker, "\"");
    const Text rightMarker = ReplaceText(right, kQuoteMarker, "\"");

    Position from = FindText(text, leftMarker, start.value_or(0), ignoreCase);
    if (from != kNotFound) {
        from += TextLength(leftMarker);
    }
    const Position to = FindText(text, rightMarker, from, ignoreCase);
    if (from == kNotFound || to == kNotFound) {
        return Text();
    }
    return MidText(text, from, to - from);
}

} // namespace whois
