#include "text/TextOperations.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <optional>

namespace whois {
namespace {

// Code page 936 bytes used below. Every byte from 0x80 up begins a two-byte character, so
// "\xB0" followed by an ASCII byte is one character whose second byte must never be matched.
constexpr std::string_view kFullWidthSpace = "\xA1\xA1";

struct FindCase : test::NamedCase {
    std::string_view text;
    std::string_view sought;
    std::optional<Position> start;
    std::optional<bool> ignoreCase;
    Position expected;
};

class FindTextTest : public testing::TestWithParam<FindCase> {};

TEST_P(FindTextTest, FindsFirstCharacterWhereSoughtBytesMatch)
{
    const FindCase& c = GetParam();
    EXPECT_EQ(FindText(c.text, c.sought, c.start, c.ignoreCase), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindTextTest,
    testing::Values(
        FindCase{"NoStart", "abc", "b", std::nullopt, std::nullopt, 2},
        FindCase{"StartPastLastByte", "abc", "c", 4, std::nullopt, -1},
        FindCase{"StartZeroSearchesFromFirstByte", "abc", "a", 0, std::nullopt, 1},
        FindCase{"NegativeStartSearchesFromFirstByte", "abc", "a", -1, std::nullopt, 1},
        FindCase{"StartOnTheMatch", "abcabc", "a", 4, std::nullopt, 4},
        FindCase{"HugeStart", "abc", "a", INT64_MAX, std::nullopt, -1},
        FindCase{"SoughtMustLieWhollyInside", "abc", "cd", std::nullopt, std::nullopt, -1},
        FindCase{"SoughtLongerThanText", "a", "abc", std::nullopt, std::nullopt, -1},
        FindCase{"EmptySoughtGivesOne", "abc", "", 3, std::nullopt, 1},
        FindCase{"EmptySoughtPastEnd", "abc", "", 4, std::nullopt, -1},
        FindCase{"EmptyText", "", "a", std::nullopt, std::nullopt, -1},
        FindCase{"EmptyTextEmptySought", "", "", std::nullopt, std::nullopt, -1},
        FindCase{"CaseMattersByDefault", "ABC", "b", std::nullopt, std::nullopt, -1},
        FindCase{"IgnoreCase", "ABC", "b", std::nullopt, true, 2},
        FindCase{"IgnoreCaseOff", "ABC", "b", std::nullopt, false, -1},
        FindCase{"IgnoreCaseOnlyAsciiLetters", "[@", "{`", std::nullopt, true, -1},
        FindCase{"NeverAtSecondByteUpperLetter",
                 "\xB0"
                 "A",
                 "A", std::nullopt, std::nullopt, -1},
        FindCase{"NeverAtSecondByteDot", "\xB0.", ".", std::nullopt, std::nullopt, -1},
        FindCase{"NeverAtSecondByteSlash", "x\xB0/y/", "/", std::nullopt, std::nullopt, 5},
        FindCase{"NeverAtSecondByteColon", "\xB0:", ":", std::nullopt, std::nullopt, -1},
        FindCase{"NeverAtSecondByteSpace", "\xB0 ", " ", std::nullopt, std::nullopt, -1},
        FindCase{"NeverAtSecondByteIgnoringCase",
                 "\xB0"
                 "a",
                 "A", std::nullopt, true, -1},
        FindCase{"LeadByteAtEndIsFound", "ab\xB0", "\xB0", std::nullopt, std::nullopt, 3},
        FindCase{"MatchMaySpanPairs", "\xB0\xA1\xB0\xA2", "\xA1\xB0", std::nullopt, std::nullopt,
                 -1},
        FindCase{"PairingReckonedFromStart",
                 "\xB0"
                 "AA",
                 "A", 2, std::nullopt, 2},
        FindCase{"IgnoreCaseAppliesToSecondBytesInsideSought",
                 "\xB0"
                 "a",
                 "\xB0"
                 "A",
                 std::nullopt, true, 1}),
    test::CaseName());

struct FindReverseCase : test::NamedCase {
    std::string_view text;
    std::string_view sought;
    std::optional<Position> start;
    Position expected;
};

class FindTextReverseTest : public testing::TestWithParam<FindReverseCase> {};

TEST_P(FindTextReverseTest, FindsLastMatchEndingBeforeStart)
{
    const FindReverseCase& c = GetParam();
    EXPECT_EQ(FindTextReverse(c.text, c.sought, c.start), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindTextReverseTest,
    testing::Values(FindReverseCase{"NoStart", "a.b.c", ".", std::nullopt, 4},
                    FindReverseCase{"StartJustAfterLastDot", "a.b.c", ".", 5, 4},
                    FindReverseCase{"StartBeyondText", "a.b.c", ".", 99, 4},
                    FindReverseCase{"OccurrenceAtStartIsNotFound", "a.b.c", ".", 4, 2},
                    FindReverseCase{"StartTwo", "a.b.c", ".", 2, -1},
                    FindReverseCase{"StartOne", "a.b.c", ".", 1, -1},
                    FindReverseCase{"StartZero", "a.b.c", ".", 0, -1},
                    FindReverseCase{"StartMinimum", "a.b.c", ".", INT64_MIN, -1},
                    FindReverseCase{"MatchMustEndBeforeStart", "abcd", "bc", 3, -1},
                    FindReverseCase{"MatchEndingJustBeforeStart", "abcd", "bc", 4, 2},
                    FindReverseCase{"EmptySought", "abc", "", std::nullopt, 1},
                    FindReverseCase{"EmptySoughtEmptyPart", "abc", "", 1, -1},
                    FindReverseCase{"EmptyText", "", ".", std::nullopt, -1},
                    FindReverseCase{"NeverAtSecondByte", "a.\xB0.", ".", std::nullopt, 2},
                    FindReverseCase{"PairingFromFirstByte", "\xB0..", ".", std::nullopt, 3}),
    test::CaseName());

struct ConvertCase : test::NamedCase {
    std::string_view text;
    std::string_view expected;
};

class ToLowerAsciiTest : public testing::TestWithParam<ConvertCase> {};

TEST_P(ToLowerAsciiTest, LowersOnlyOneByteAsciiLetters)
{
    const ConvertCase& c = GetParam();
    const Text lowered = ToLowerAscii(c.text);
    EXPECT_EQ(lowered, c.expected);
    EXPECT_EQ(lowered.size(), c.text.size());
}

INSTANTIATE_TEST_SUITE_P(Cases, ToLowerAsciiTest,
                         testing::Values(ConvertCase{"Ascii", "ABC", "abc"},
                                         ConvertCase{"PairSecondByteUnchanged",
                                                     "\xB0"
                                                     "AZ",
                                                     "\xB0"
                                                     "Az"},
                                         ConvertCase{"Boundaries", "@AZ[`az{", "@az[`az{"},
                                         ConvertCase{"LoneLeadByteAtEnd", "A\xC1", "a\xC1"},
                                         ConvertCase{"FullWidthLetterKeepsCase", "\xA3\xC1",
                                                     "\xA3\xC1"},
                                         ConvertCase{"Empty", "", ""}),
                         test::CaseName());

class TrimSpacesTest : public testing::TestWithParam<ConvertCase> {};

TEST_P(TrimSpacesTest, RemovesAsciiAndFullWidthSpacesAtTheEnds)
{
    const ConvertCase& c = GetParam();
    EXPECT_EQ(TrimSpaces(c.text), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrimSpacesTest,
    testing::Values(ConvertCase{"TabsStay", "\tx\t", "\tx\t"},
                    ConvertCase{"MixedSpaces", " \xA1\xA1x\xA1\xA1 ", "x"},
                    ConvertCase{"FullWidthSpaceOnly", kFullWidthSpace, ""},
                    ConvertCase{"SpacesOnly", "   ", ""}, ConvertCase{"Empty", "", ""},
                    ConvertCase{"InnerSpacesStay", " a  b ", "a  b"},
                    ConvertCase{"CrLfStay", " a\r\n ", "a\r\n"},
                    ConvertCase{"LoneLeadByteDropped", "example.com\xB0", "example.com"},
                    ConvertCase{"SpaceBeforeLoneLeadByteStays", "example.com \xB0", "example.com "},
                    ConvertCase{"LoneLeadByteAlone", "\xB0", ""},
                    ConvertCase{"LeadingSpacesThenLoneLeadByte", "  \xB0", ""},
                    ConvertCase{"HalfFullWidthSpaceAtEnd", "x \xA1", "x "},
                    ConvertCase{"PairEndingInSpaceIsNotASpace", "x\xB0 ", "x\xB0 "},
                    ConvertCase{"MisalignedA1A1IsNotASpace", "x\xB0\xA1\xA1", "x\xB0\xA1"},
                    ConvertCase{"A1A1AfterPairIsASpace", "x\xB0\xA1\xA1\xA1", "x\xB0\xA1"}),
    test::CaseName());

struct ReplaceCase : test::NamedCase {
    std::string_view text;
    std::string_view oldText;
    std::string_view newText;
    std::string_view expected;
};

class ReplaceTextTest : public testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplaceTextTest, ReplacesEveryOccurrenceAtACharacter)
{
    const ReplaceCase& c = GetParam();
    EXPECT_EQ(ReplaceText(c.text, c.oldText, c.newText), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceTextTest,
    testing::Values(ReplaceCase{"Every", "http://a/http://b", "http://", "", "a/b"},
                    ReplaceCase{"NoOverlap", "aaa", "aa", "b", "ba"},
                    ReplaceCase{"ReplacedNotSearchedAgain", "ab", "a", "aa", "aab"},
                    ReplaceCase{"EmptyOld", "abc", "", "x", "abc"},
                    ReplaceCase{"EmptyText", "", "a", "x", ""},
                    ReplaceCase{"NotAtSecondByte", "\xB0/x/", "/", "-", "\xB0/x-"},
                    ReplaceCase{"LoneLeadByteAtEndKept", "a\xB0", "a", "b", "b\xB0"},
                    ReplaceCase{"QuoteMarker", "x#\xD2\xFD\xBA\xC5y", "#\xD2\xFD\xBA\xC5", "\"",
                                "x\"y"}),
    test::CaseName());

struct SplitCase : test::NamedCase {
    std::string_view text;
    std::string_view delimiter;
    TextList expected;
};

class SplitTextTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitTextTest, SplitsAtDelimitersThatBeginAtACharacter)
{
    const SplitCase& c = GetParam();
    EXPECT_EQ(SplitText(c.text, c.delimiter), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitTextTest,
    testing::Values(SplitCase{"TrailingDelimiter", "a.b.", ".", {"a", "b"}},
                    SplitCase{"LeadingDelimiter", ".a", ".", {"", "a"}},
                    SplitCase{"DoubleDelimiter", "a..b", ".", {"a", "", "b"}},
                    SplitCase{"OnlyDelimiter", ".", ".", {""}}, SplitCase{"Empty", "", ".", {}},
                    SplitCase{"NoDelimiter", "abc", ".", {"abc"}},
                    SplitCase{"EmptyDelimiter", "abc", "", {"abc"}},
                    SplitCase{"LongDelimiter", "a::b", "::", {"a", "b"}},
                    SplitCase{"NotAtSecondByte", "\xB0.x.y", ".", {"\xB0.x", "y"}}),
    test::CaseName());

struct CutCase : test::NamedCase {
    Text (*cut)(std::string_view, Position);
    std::string_view text;
    Position count;
    std::string_view expected;
};

class LeftRightTextTest : public testing::TestWithParam<CutCase> {};

TEST_P(LeftRightTextTest, CountsBytes)
{
    const CutCase& c = GetParam();
    EXPECT_EQ(c.cut(c.text, c.count), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, LeftRightTextTest,
                         testing::Values(CutCase{"LeftZero", LeftText, "abc", 0, ""},
                                         CutCase{"LeftNegative", LeftText, "abc", -5, ""},
                                         CutCase{"LeftTwo", LeftText, "abc", 2, "ab"},
                                         CutCase{"LeftBeyond", LeftText, "abc", 5, "abc"},
                                         CutCase{"LeftCutsPair", LeftText, "\xB0\xA1x", 1, "\xB0"},
                                         CutCase{"RightBeyond", RightText, "abc", 5, "abc"},
                                         CutCase{"RightZero", RightText, "abc", 0, ""},
                                         CutCase{"RightOne", RightText, "abc", 1, "c"},
                                         CutCase{"RightHuge", RightText, "abc", INT64_MAX, "abc"},
                                         CutCase{"RightCutsPair", RightText, "x\xB0\xA1", 1,
                                                 "\xA1"}),
                         test::CaseName());

struct MidCase : test::NamedCase {
    std::string_view text;
    Position start;
    Position count;
    std::string_view expected;
};

class MidTextTest : public testing::TestWithParam<MidCase> {};

TEST_P(MidTextTest, TakesInnerBytes)
{
    const MidCase& c = GetParam();
    EXPECT_EQ(MidText(c.text, c.start, c.count), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, MidTextTest,
                         testing::Values(MidCase{"Inner", "abcdef", 2, 3, "bcd"},
                                         MidCase{"ToTheEnd", "abcdef", 5, 10, "ef"},
                                         MidCase{"LastByte", "abc", 3, 1, "c"},
                                         MidCase{"StartZero", "abc", 0, 2, ""},
                                         MidCase{"StartPastEnd", "abc", 4, 1, ""},
                                         MidCase{"CountZero", "abc", 1, 0, ""},
                                         MidCase{"CountNegative", "abc", 1, -1, ""},
                                         MidCase{"HugeCount", "abc", 2, INT64_MAX, "bc"},
                                         MidCase{"Empty", "", 1, 1, ""}),
                         test::CaseName());

TEST(CompareTextsTest, ComparesUnsignedBytesAndPrefixes)
{
    EXPECT_EQ(CompareTexts("abc", "abc"), 0);
    EXPECT_EQ(CompareTexts("", ""), 0);
    EXPECT_LT(CompareTexts("ab", "abc"), 0);
    EXPECT_GT(CompareTexts("abc", "ab"), 0);
    EXPECT_GT(CompareTexts("\x80", "a"), 0);
    EXPECT_LT(CompareTexts("Whois.Example", "whois.example"), 0);
}

TEST(ConcatTextsTest, JoinsInArgumentOrder)
{
    EXPECT_EQ(ConcatTexts({"com", "", ".whois-servers.net"}), "com.whois-servers.net");
    EXPECT_EQ(ConcatTexts({""}), "");
    EXPECT_EQ(ConcatTexts({std::string_view("a\0b", 3), "c"}), std::string("a\0bc", 4));
}

TEST(TextLengthTest, CountsBytes)
{
    EXPECT_EQ(TextLength(""), 0);
    EXPECT_EQ(TextLength("\xC0\xFD\xD7\xD3"), 4);
}

} // namespace
} // namespace whois
