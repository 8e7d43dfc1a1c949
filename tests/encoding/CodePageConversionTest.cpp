#include "encoding/CodePageConversion.h"

#include "encoding/DecodeResponse.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

namespace whois {
namespace {

using namespace std::string_view_literals;

// "中文" in UTF-8 and in code page 936.
constexpr std::string_view kChineseUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";
constexpr std::string_view kChinese936 = "\xD6\xD0\xCE\xC4";

struct DecodeCase : test::NamedCase {
    std::string_view received;
    std::string_view expected;
};

class DecodeResponseTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeResponseTest, GivesCodePage936Text)
{
    const DecodeCase& c = GetParam();
    EXPECT_EQ(DecodeResponse(c.received), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeResponseTest,
    testing::Values(DecodeCase{"Chinese", kChineseUtf8, kChinese936},
                    DecodeCase{"AsciiWithLineEndsUnchanged",
                               "Domain: a.test\r\nStatus: ok\r\n\n\t\x01\x7F",
                               "Domain: a.test\r\nStatus: ok\r\n\n\t\x01\x7F"},
                    DecodeCase{"EndsAtZeroByte", "ab\0cd"sv, "ab"}, DecodeCase{"Empty", "", ""},
                    DecodeCase{"FirstByteZero", "\0ab"sv, ""},
                    DecodeCase{"InvalidUtf8BecomesQuestionMark", "\xE9x", "?x"},
                    DecodeCase{"TruncatedSequenceAtEnd", "ab\xE4\xB8", "ab?"},
                    DecodeCase{"EncodedSurrogateIsInvalid", "a\xED\xA0\x80z", "a???z"},
                    DecodeCase{"CharacterCodePage936Lacks", "\xC3\x80|\xF0\x9F\x98\x80|", "?|?|"},
                    DecodeCase{"EuroSignIsOneByte", "\xE2\x82\xAC", "\x80"},
                    DecodeCase{"IdeographicSpace", "\xE3\x80\x80", "\xA1\xA1"},
                    DecodeCase{"CombiningMarkNotComposed", "e\xCC\x81", "e?"},
                    DecodeCase{"ByteOrderMarkBecomesQuestionMark", "\xEF\xBB\xBFok", "?ok"},
                    // Text that is ASCII up to its last bytes takes the converter all the same.
                    DecodeCase{"ChineseAfterLongAsciiRun",
                               "Registrant Organization: Example Holdings \xE4\xB8\xAD\xE6\x96\x87",
                               "Registrant Organization: Example Holdings \xD6\xD0\xCE\xC4"}),
    test::CaseName());

TEST(DecodeResponseTest, ConvertsThousandsOfChineseCharacters)
{
    std::string received;
    Text expected;
    for (int i = 0; i < 5000; ++i) {
        received += kChineseUtf8;
        expected += kChinese936;
        if (i % 100 == 0) {
            received += "line\r\n";
            expected += "line\r\n";
        }
    }
    EXPECT_EQ(DecodeResponse(received), expected);
}

// UTF-16 buffers are written out as bytes; (n) marks how a row names them.
struct ToUtf16Case : test::NamedCase {
    std::string_view text;
    CodePage codePage;
    std::string_view expected;
};

class MultiByteToUtf16Test : public testing::TestWithParam<ToUtf16Case> {};

TEST_P(MultiByteToUtf16Test, EndsWithOneCountedZeroUnit)
{
    const ToUtf16Case& c = GetParam();
    EXPECT_EQ(MultiByteToUtf16(c.text, c.codePage), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MultiByteToUtf16Test,
    testing::Values(
        ToUtf16Case{"Ascii", "ab", CodePage::Cp936, "a\0b\0\0\0"sv},
        ToUtf16Case{"Empty", "", CodePage::Cp936, ""},
        ToUtf16Case{"Chinese936", kChinese936, CodePage::Cp936, "\x2D\x4E\x87\x65\0\0"sv},
        ToUtf16Case{"ChineseUtf8", kChineseUtf8, CodePage::Utf8, "\x2D\x4E\x87\x65\0\0"sv},
        ToUtf16Case{"OutsideBasicPlane", "\xF0\x9F\x98\x80", CodePage::Utf8,
                    "\x3D\xD8\x00\xDE\0\0"sv},
        ToUtf16Case{"StopsAtZeroByte", "a\0b"sv, CodePage::Cp936, "a\0\0\0"sv},
        ToUtf16Case{"LoneLeadByteAtEnd", "a\xD6", CodePage::Cp936, "a\0\xFD\xFF\0\0"sv},
        ToUtf16Case{"ByteAfterAsciiIsEuroSign", "ab\x80", CodePage::Cp936, "a\0b\0\xAC\x20\0\0"sv}),
    test::CaseName());

struct FromUtf16Case : test::NamedCase {
    std::string_view utf16;
    std::string_view toMultiByte; // Utf16ToMultiByte with code page 936
    std::string_view toCp936;     // Utf16ToCp936
};

class Utf16ToCodePage936Test : public testing::TestWithParam<FromUtf16Case> {};

TEST_P(Utf16ToCodePage936Test, ConvertsItsExtent)
{
    const FromUtf16Case& c = GetParam();
    EXPECT_EQ(Utf16ToMultiByte(c.utf16, CodePage::Cp936), c.toMultiByte);
    EXPECT_EQ(Utf16ToCp936(c.utf16), c.toCp936);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf16ToCodePage936Test,
    testing::Values(
        FromUtf16Case{"WithTerminator", "a\0b\0\0\0"sv, "ab", "ab"},
        FromUtf16Case{"WithoutTerminator", "a\0b\0"sv, "ab", "ab"},
        FromUtf16Case{"OddLengthDropsLastByte", "a\0b\0c"sv, "ab", "ab"},
        FromUtf16Case{"SingleByte", "a", "", ""}, FromUtf16Case{"Empty", "", "", ""},
        FromUtf16Case{"UnitsAfterZeroUnit", "a\0\0\0b\0"sv, "a", "a"},
        FromUtf16Case{"CombiningAcuteComposed", "e\0\x01\x03"sv, "e?", "\xA8\xA6"},
        FromUtf16Case{"PrecomposedUnchanged", "\xE9\0"sv, "\xA8\xA6", "\xA8\xA6"},
        FromUtf16Case{"CompatibilityIdeographKept", "\x2C\xF9"sv, "\xFD\x9C", "\xFD\x9C"},
        FromUtf16Case{"Chinese", "\x2D\x4E\x87\x65\0\0"sv, kChinese936, kChinese936},
        FromUtf16Case{"UnpairedSurrogate", "\x00\xD8x\0"sv, "?x", "?x"},
        FromUtf16Case{"SurrogatePairIsOneQuestionMark", "\x3D\xD8\x00\xDEx\0"sv, "?x", "?x"}),
    test::CaseName());

TEST(Utf16ToMultiByteTest, WritesUtf8)
{
    EXPECT_EQ(Utf16ToMultiByte("\x2D\x4E\x87\x65\0\0"sv, CodePage::Utf8), kChineseUtf8);
}

} // namespace
} // namespace whois
