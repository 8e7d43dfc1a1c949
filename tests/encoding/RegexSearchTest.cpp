#include "encoding/RegexSearch.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <chrono>

namespace whois {
namespace {

using namespace std::string_view_literals;

constexpr std::nullopt_t kNotGiven = std::nullopt;
constexpr std::string_view kReferralPattern = "Whois Server:(.+?)\\s";

// The engine's dialect: one search, and the text of every match it keeps.
struct DialectCase : test::NamedCase {
    std::string_view pattern;
    std::string_view subject;
    std::optional<bool> caseSensitive;
    std::optional<bool> multiLine;
    std::optional<bool> global;
    std::vector<std::string_view> expected;
};

class RegexDialectTest : public testing::TestWithParam<DialectCase> {};

TEST_P(RegexDialectTest, FindsTheseMatches)
{
    const DialectCase& c = GetParam();
    RegexSearch search;
    ASSERT_TRUE(search.Search(c.pattern, c.subject, c.caseSensitive, c.multiLine, c.global));
    std::vector<Text> found;
    for (std::int32_t i = 1; i <= search.MatchCount(); ++i) {
        found.push_back(search.MatchText(i));
    }
    EXPECT_EQ(found, std::vector<Text>(c.expected.begin(), c.expected.end()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegexDialectTest,
    testing::Values(
        DialectCase{"NoMatch", "x", "abc", kNotGiven, kNotGiven, kNotGiven, {}},
        DialectCase{
            "DotMatchesCarriageReturn", "a.b", "a\rb", kNotGiven, kNotGiven, kNotGiven, {"a\rb"}},
        DialectCase{"DotSkipsLineFeed", "a.b", "a\nb", kNotGiven, kNotGiven, kNotGiven, {}},
        DialectCase{"DotSkipsLineFeedWhenSingleLineWouldNot",
                    "a.b",
                    "a\nb a b",
                    kNotGiven,
                    false,
                    kNotGiven,
                    {"a b"}},
        DialectCase{"SpaceClass",
                    "\\s",
                    " \t\n\r\f\v",
                    kNotGiven,
                    kNotGiven,
                    kNotGiven,
                    {" ", "\t", "\n", "\r", "\f", "\v"}},
        DialectCase{
            "IdeographicSpaceIsNoSpace", "\\s", "\xA1\xA1", kNotGiven, kNotGiven, kNotGiven, {}},
        DialectCase{
            "DefaultIgnoresCase", "whois", "WHOIS", kNotGiven, kNotGiven, kNotGiven, {"WHOIS"}},
        DialectCase{"CaseSensitive", "whois", "WHOIS whois", true, kNotGiven, kNotGiven, {"whois"}},
        DialectCase{"ChineseUnaffectedByCase",
                    "\xD6\xD0",
                    "\xD6\xD0",
                    false,
                    kNotGiven,
                    kNotGiven,
                    {"\xD6\xD0"}},
        DialectCase{"DotTakesDoubleByteWhole",
                    "^.$",
                    "\xD6\xD0",
                    kNotGiven,
                    kNotGiven,
                    kNotGiven,
                    {"\xD6\xD0"}},
        DialectCase{"GlobalLeftToRight",
                    "a\\d",
                    "a1 a2 a3",
                    kNotGiven,
                    kNotGiven,
                    kNotGiven,
                    {"a1", "a2", "a3"}},
        DialectCase{"NotGlobalKeepsFirst", "a\\d", "a1 a2 a3", kNotGiven, kNotGiven, false, {"a1"}},
        DialectCase{
            "MatchesDoNotOverlap", "aa", "aaaaa", kNotGiven, kNotGiven, kNotGiven, {"aa", "aa"}},
        DialectCase{"EmptyMatchesAdvance",
                    "x*",
                    "axxb",
                    kNotGiven,
                    kNotGiven,
                    kNotGiven,
                    {"", "xx", "", ""}},
        DialectCase{"EmptyPatternAroundEachCharacter",
                    "",
                    "\xD6\xD0",
                    kNotGiven,
                    kNotGiven,
                    kNotGiven,
                    {"", ""}},
        DialectCase{"MultiLineAnchors",
                    "^\\w+$",
                    "one\ntwo",
                    kNotGiven,
                    kNotGiven,
                    kNotGiven,
                    {"one", "two"}},
        DialectCase{"SingleLineAnchors", "^\\w+$", "one\ntwo", kNotGiven, false, kNotGiven, {}},
        DialectCase{"DollarOnlyAtVeryEnd", "\\w+$", "one\n", kNotGiven, false, kNotGiven, {}},
        DialectCase{
            "LineAnchorsSeeLineFeedsOnly", "^b", "a\rb\nb", kNotGiven, kNotGiven, kNotGiven, {"b"}},
        DialectCase{"SubjectEndsAtZeroByte", "b", "a\0b"sv, kNotGiven, kNotGiven, kNotGiven, {}}),
    test::CaseName());

TEST(RegexSearchTest, RejectedPatternLeavesEverythingEmpty)
{
    for (const std::string_view pattern : {"(abc"sv, "a\\C"sv, "[z-a]"sv, "*"sv}) {
        RegexSearch search;
        ASSERT_TRUE(search.Search("a", "a"));
        EXPECT_FALSE(search.Search(pattern, "abc abc")) << pattern;
        EXPECT_EQ(search.MatchCount(), 0);
        EXPECT_EQ(search.SubMatchCount(), 0);
        EXPECT_EQ(search.MatchText(1), "");
        EXPECT_EQ(search.SubMatchText(1, 1), "");
        EXPECT_EQ(search.ReplaceMatches("x"), "");
        EXPECT_EQ(search.GetPattern(), pattern);
    }
}

TEST(RegexSearchTest, NothingBeforeTheFirstSearch)
{
    RegexSearch search;
    EXPECT_EQ(search.GetPattern(), "");
    EXPECT_EQ(search.MatchCount(), 0);
    EXPECT_EQ(search.SubMatchCount(), 0);
    Position position = 7;
    EXPECT_EQ(search.MatchText(1, &position), "");
    EXPECT_EQ(position, 7);
    EXPECT_EQ(search.ReplaceMatches("x"), "");
}

// Compiled patterns are kept and shared between searches; one kept for other options must
// not answer for these.
TEST(RegexSearchTest, SamePatternUnderOtherOptionsSearchesByThose)
{
    struct Run {
        std::optional<bool> caseSensitive;
        std::optional<bool> multiLine;
        std::int32_t matches;
    };
    const Run runs[] = {{true, true, 1},   {false, true, 2}, {true, false, 0},
                        {false, false, 0}, {true, true, 1},  {false, true, 2}};
    for (const Run& run : runs) {
        RegexSearch search;
        ASSERT_TRUE(search.Search("^whois$", "whois\nWHOIS", run.caseSensitive, run.multiLine));
        EXPECT_EQ(search.MatchCount(), run.matches)
            << "case sensitive " << *run.caseSensitive << ", multi-line " << *run.multiLine;
    }
}

TEST(RegexSearchTest, ReferralPatternIgnoresCase)
{
    RegexSearch search;
    ASSERT_TRUE(search.Search(kReferralPattern, "WHOIS SERVER: x\r\n", false));
    ASSERT_EQ(search.MatchCount(), 1);
    EXPECT_EQ(search.SubMatchCount(), 1);
    EXPECT_EQ(search.SubMatchText(1, 1), " x");
    EXPECT_EQ(search.MatchText(1), "WHOIS SERVER: x\r");
}

TEST(RegexSearchTest, GroupsThatTookNoPartAreEmpty)
{
    RegexSearch search;
    ASSERT_TRUE(search.Search("(a)|(b)", "b"));
    EXPECT_EQ(search.SubMatchCount(), 2);
    Position position = 7;
    EXPECT_EQ(search.SubMatchText(1, 1, &position), "");
    EXPECT_EQ(position, 0);
    EXPECT_EQ(search.SubMatchText(1, 2), "b");
    EXPECT_EQ(search.SubMatchText(1, 3), "");
    EXPECT_EQ(search.SubMatchText(1, 0), "");
    EXPECT_EQ(search.SubMatchText(2, 2), "");
    EXPECT_EQ(search.MatchText(0), "");
    EXPECT_EQ(search.MatchText(2), "");
}

TEST(RegexSearchTest, SubMatchCountIsZeroWithoutMatches)
{
    RegexSearch search;
    ASSERT_TRUE(search.Search("(a)(b)", "xyz"));
    EXPECT_EQ(search.SubMatchCount(), 0);
}

// Positions are zero-based byte offsets in code page 936 of the match itself, after any
// double-byte characters and never of an identical text earlier in the subject.
struct PositionCase : test::NamedCase {
    std::string_view pattern;
    std::string_view subject;
    std::int32_t match;
    std::int32_t group; // 0: the whole match
    std::string_view text;
    Position position;
};

class RegexPositionTest : public testing::TestWithParam<PositionCase> {};

TEST_P(RegexPositionTest, GivesByteOffsetOfTheMatch)
{
    const PositionCase& c = GetParam();
    RegexSearch search;
    ASSERT_TRUE(search.Search(c.pattern, c.subject, true));
    Position position = -7;
    const Text text = c.group == 0 ? search.MatchText(c.match, &position)
                                   : search.SubMatchText(c.match, c.group, &position);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(position, c.position);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegexPositionTest,
    testing::Values(
        PositionCase{"AfterDoubleByte", "ab", "\xD6\xD0\x61\x62", 1, 0, "ab", 2},
        PositionCase{"AtStart", "ab", "ab", 1, 0, "ab", 0},
        PositionCase{"SecondOfIdenticalTexts", "ab", "ab\xD6\xD0\x61\x62", 2, 0, "ab", 4},
        PositionCase{"GroupAfterIdenticalText", "a(a)", "\xD6\xD0\x61\x61", 1, 1, "a", 3},
        PositionCase{"AfterEuroSign", "x", "\x80x", 1, 0, "x", 1},
        PositionCase{"SecondMatchAfterChinese", "x", "\xD6\xD0x\xCE\xC4x", 2, 0, "x", 5},
        PositionCase{"ChineseMatch", "\xCE\xC4", "a\xD6\xD0\xCE\xC4", 1, 0, "\xCE\xC4", 3}),
    test::CaseName());

TEST(RegexSearchTest, PositionsInAnyOrder)
{
    RegexSearch search;
    ASSERT_TRUE(search.Search("x", "\xD6\xD0x\xD6\xD0x\xD6\xD0x"));
    Position position = -1;
    for (const auto& [match, expected] : {std::pair{3, 8}, {1, 2}, {2, 5}, {3, 8}}) {
        EXPECT_EQ(search.MatchText(match, &position), "x");
        EXPECT_EQ(position, expected) << "match " << match;
    }
}

TEST(RegexSearchTest, MatchTextComposesGroupTextDoesNot)
{
    // A letter e followed by a combining acute accent cannot come from a code page 936
    // text, but U+00E9 can: both paths give its code page 936 bytes.
    RegexSearch search;
    ASSERT_TRUE(search.Search("(.)", "\xA8\xA6"));
    EXPECT_EQ(search.MatchText(1), "\xA8\xA6");
    EXPECT_EQ(search.SubMatchText(1, 1), "\xA8\xA6");
}

TEST(RegexSearchTest, QuoteMarkerSpellsADoubleQuote)
{
    const std::string_view pattern = "#\xD2\xFD\xBA\xC5x#\xD2\xFD\xBA\xC5";
    RegexSearch search;
    ASSERT_TRUE(search.Search(pattern, "say \"x\"", kNotGiven, kNotGiven, kNotGiven, true));
    EXPECT_EQ(search.GetPattern(), "\"x\"");
    EXPECT_EQ(search.MatchCount(), 1);

    ASSERT_TRUE(search.Search(pattern, "say \"x\"", kNotGiven, kNotGiven, kNotGiven, false));
    EXPECT_EQ(search.GetPattern(), pattern);
    EXPECT_EQ(search.MatchCount(), 0);

    // A marker that would begin at the second byte of a double-byte character is no marker;
    // B0 23 is no character of code page 936 and reaches the engine as U+FFFD and "#".
    ASSERT_TRUE(search.Search("\xB0#\xD2\xFD\xBA\xC5", "", kNotGiven, kNotGiven, kNotGiven, true));
    EXPECT_EQ(search.GetPattern(), "?#\xD2\xFD\xBA\xC5");
}

struct ReplaceCase : test::NamedCase {
    std::string_view pattern;
    std::string_view subject;
    std::optional<bool> global;
    std::string_view replacement;
    std::string_view expected;
};

class RegexReplaceTest : public testing::TestWithParam<ReplaceCase> {};

TEST_P(RegexReplaceTest, ReplacesMatchesOfTheLastSearch)
{
    const ReplaceCase& c = GetParam();
    RegexSearch search;
    ASSERT_TRUE(search.Search(c.pattern, c.subject, true, kNotGiven, c.global));
    EXPECT_EQ(search.ReplaceMatches(c.replacement), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegexReplaceTest,
    testing::Values(
        ReplaceCase{"Global", "o", "foo boo", kNotGiven, "0", "f00 b00"},
        ReplaceCase{"FirstOnly", "o", "foo boo", false, "0", "f0o boo"},
        ReplaceCase{"NoMatchKeepsSubject", "z", "\xD6\xD0x", kNotGiven, "0", "\xD6\xD0x"},
        ReplaceCase{"Groups", "(\\w+)=(\\w+)", "a=1;b=2", kNotGiven, "$2=$1", "1=a;2=b"},
        ReplaceCase{"WholeMatch", "b+", "abbc", kNotGiven, "[$&]", "a[bb]c"},
        ReplaceCase{"BeforeAndAfter", "b", "abc", kNotGiven, "<$`|$'>", "a<a|c>c"},
        ReplaceCase{"DollarSign", "b", "abc", kNotGiven, "$$1", "a$1c"},
        ReplaceCase{"MissingGroupIsLiteral", "(b)", "abc", kNotGiven, "$2$0$", "a$2$0$c"},
        ReplaceCase{"TwoDigitGroupFallsBackToOne", "(b)", "abc", kNotGiven, "$10", "ab0c"},
        ReplaceCase{"TwoDigitGroup", "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "abcdefghij", kNotGiven,
                    "$10$1", "ja"},
        ReplaceCase{"GroupThatTookNoPart", "(x)?b", "abc", kNotGiven, "[$1]", "a[]c"},
        ReplaceCase{"ChineseReplacement", "x", "axb", kNotGiven, "\xD6\xD0", "a\xD6\xD0\x62"},
        ReplaceCase{"EmptyMatches", "x*", "ab", kNotGiven, "-", "-a-b-"}),
    test::CaseName());

TEST(RegexSearchTest, CopiesKeepTheSearchAfterTheSourceMovesOn)
{
    auto source = std::make_unique<RegexSearch>();
    ASSERT_TRUE(source->Search("(\\d)", "\xD6\xD0\x31 2"));
    const std::unique_ptr<RegexSearch> copy = source->Copy();
    RegexSearch assigned;
    assigned = *source;
    ASSERT_TRUE(source->Search("z", "z"));
    source.reset();

    for (const RegexSearch* search :
         std::initializer_list<const RegexSearch*>{copy.get(), &assigned}) {
        EXPECT_EQ(search->GetPattern(), "(\\d)");
        ASSERT_EQ(search->MatchCount(), 2);
        Position position = -1;
        EXPECT_EQ(search->SubMatchText(2, 1, &position), "2");
        EXPECT_EQ(position, 4);
        EXPECT_EQ(search->ReplaceMatches("#"), "\xD6\xD0# #");
    }
}

// A pattern that backtracks without end over a hostile subject stops at the engine's limits
// and counts as having found nothing more, instead of holding the thread.
TEST(RegexSearchTest, CatastrophicBacktrackingEndsQuickly)
{
    const Text subject = "ok " + Text(5000, 'a') + "!";
    RegexSearch search;
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(search.Search("ok|(a|aa)+$", subject, true, false));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_GE(search.MatchCount(), 1);
    EXPECT_EQ(search.MatchText(1), "ok");
}

TEST(RegexSearchTest, ManyMatchesInALargeSubject)
{
    Text subject;
    for (int i = 0; i < 100000; ++i) {
        subject += "Whois Server: \xD6\xD0" + std::to_string(i) + "\r\n";
    }
    RegexSearch search;
    ASSERT_TRUE(search.Search(kReferralPattern, subject, false, false, true, true));
    ASSERT_EQ(search.MatchCount(), 100000);
    EXPECT_EQ(search.SubMatchText(100000, 1), " \xD6\xD0"
                                              "99999");
    Position position = -1;
    EXPECT_EQ(search.SubMatchText(99999, 1, &position), " \xD6\xD0"
                                                        "99998");
    EXPECT_EQ(Text(subject, static_cast<std::size_t>(position), 8), " \xD6\xD0"
                                                                    "99998");
}

} // namespace
} // namespace whois
