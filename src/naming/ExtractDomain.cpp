#include "naming/ExtractDomain.h"

#include "text/TextBetween.h"
#include "text/TextOperations.h"

namespace whois {
namespace {

constexpr std::string_view kHttp = "http://";
constexpr std::string_view kHttps = "https://";

// Keeps the text after a dot counted from the right, passing over a dot in the last byte.
Text KeepLastLabels(Text t, bool mainDomainOnly, Position levels)
{
    t = ReplaceText(t, kHttp, "");
    t = ReplaceText(t, kHttps, "");
    const Position slash = FindText(t, "/");
    if (slash != kNotFound) {
        t = LeftText(t, slash - 1);
    }

    const Position n = TextLength(t);
    Position g = n;
    // Once no dot is left the search stays at -1, so stopping there changes nothing and
    // keeps a huge `levels` from looping.
    for (Position pass = 0; pass < levels && g != kNotFound; ++pass) {
        g = FindTextReverse(t, ".", g);
    }
    const Position h = FindTextReverse(t, ".", g);

    if (mainDomainOnly) {
        return RightText(t, n - h);
    }
    if (h != kNotFound) {
        const Position k = FindTextReverse(t, ".", h);
        if (k != kNotFound) {
            return RightText(t, n - k);
        }
    }
    return t;
}

Text HostOfWebAddress(Text t, bool mainDomainOnly)
{
    if (RightText(t, 1) != "/") {
        t = ConcatTexts({t, "/"});
    }
    if (LeftText(t, TextLength(kHttps)) == kHttps) {
        t = TextBetween(t, kHttps, "/");
    } else {
        if (FindText(t, kHttp) == kNotFound) {
            t = ConcatTexts({kHttp, t});
        }
        t = TextBetween(t, kHttp, "/");
    }
    if (mainDomainOnly) {
        const TextList pieces = SplitText(t, ".");
        if (pieces.size() >= 2) {
            t = ConcatTexts({pieces[pieces.size() - 2], ".", pieces.back()});
        }
    }
    return t;
}

} // namespace

Text ExtractDomain(std::string_view address, std::optional<bool> mainDomainOnly,
                   std::optional<bool> keepPort, std::optional<Position> levels)
{
    Text t = ToLowerAscii(address);
    t = levels ? KeepLastLabels(std::move(t), mainDomainOnly.value_or(false), *levels)
               : HostOfWebAddress(std::move(t), mainDomainOnly.value_or(false));

    if (!keepPort.value_or(false)) {
        const Position colon = FindText(t, ":");
        if (colon != kNotFound) {
            t = LeftText(t, colon - 1);
        }
    }
    return t;
}

} // namespace whois
