#include "text/TextBetween.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

namespace whois {
namespace {

struct BetweenCase : test::NamedCase {
    std::string_view text;
    std::string_view left;
    std::string_view right;
    std::optional<Position> start;
    std::optional<bool> ignoreCase;
    std::string_view expected;
};

class TextBetweenTest : public testing::TestWithParam<BetweenCase> {};

TEST_P(TextBetweenTest, TakesBytesBetweenMarkers)
{
    const BetweenCase& c = GetParam();
    EXPECT_EQ(TextBetween(c.text, c.left, c.right, c.start, c.ignoreCase), c.expected);
}

constexpr std::nullopt_t kNotGiven = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Cases, TextBetweenTest,
    testing::Values(
        BetweenCase{"Host", "http://a.b/c", "http://", "/", kNotGiven, kNotGiven, "a.b"},
        BetweenCase{"MarkersTouch", "http:///", "http://", "/", kNotGiven, kNotGiven, ""},
        BetweenCase{"NoLeftMarker", "a.b/", "http://", "/", kNotGiven, kNotGiven, ""},
        BetweenCase{"NoRightMarker", "http://a.b", "http://", "/", kNotGiven, kNotGiven, ""},
        BetweenCase{"LeftMarkerAtEnd", "xhttp://", "http://", "/", kNotGiven, kNotGiven, ""},
        BetweenCase{"RightMarkerOnlyBeforeLeft", "/http://a", "http://", "/", kNotGiven, kNotGiven,
                    ""},
        BetweenCase{"FromStartPosition", "[a][b]", "[", "]", 3, kNotGiven, "b"},
        BetweenCase{"IgnoreCase", "<B>x</B>", "<b>", "</b>", kNotGiven, true, "x"},
        BetweenCase{"CaseMatters", "<B>x</B>", "<b>", "</b>", kNotGiven, kNotGiven, ""},
        BetweenCase{"QuoteMarkerSpellsAQuote", "name=\"v\";", "=#\xD2\xFD\xBA\xC5",
                    "#\xD2\xFD\xBA\xC5", kNotGiven, kNotGiven, "v"},
        BetweenCase{"EmptyRightMarker", "abc", "a", "", kNotGiven, kNotGiven, ""},
        BetweenCase{"EmptyLeftMarker", "abc", "", "c", kNotGiven, kNotGiven, "ab"},
        BetweenCase{"MarkerNotAtSecondByte", "\xB0/x/y/", "/", "/", kNotGiven, kNotGiven, "y"},
        BetweenCase{"EmptyText", "", "a", "b", kNotGiven, kNotGiven, ""}),
    test::CaseName());

} // namespace
} // namespace whois
