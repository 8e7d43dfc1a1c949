// Every recorded whois answer in the samples folder, as its server sent it, goes through the
// answer handling's two steps: decoding, then the search for the referral server.
#include "encoding/DecodeResponse.h"
#include "lookup/FindReferralServer.h"
#include "lookup/NextWhoisServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace whois {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// File name to the referral the answer names; the first line holds the column names.
std::map<std::string, std::string> ExpectedReferrals()
{
    std::map<std::string, std::string> expected;
    std::istringstream table(ReadFile(fs::path(WHOIS_SAMPLES_DIR) / "expected-referrals.tsv"));
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream columns(line);
        std::string file;
        std::string matches;
        std::string referral;
        std::getline(columns, file, '\t');
        std::getline(columns, matches, '\t');
        std::getline(columns, referral);
        expected[file] = referral;
    }
    return expected;
}

std::vector<fs::path> Answers()
{
    std::vector<fs::path> answers;
    for (const auto& entry : fs::directory_iterator(WHOIS_SAMPLES_DIR)) {
        if (entry.path().extension() == ".txt") {
            answers.push_back(entry.path());
        }
    }
    std::sort(answers.begin(), answers.end());
    return answers;
}

bool IsAscii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
}

std::vector<std::string> Lines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end; (end = text.find('\n', from)) != std::string_view::npos; from = end + 1) {
        lines.emplace_back(text.substr(from, end - from));
    }
    lines.emplace_back(text.substr(from));
    return lines;
}

TEST(ReferralSamplesTest, EveryAnswerNamesItsExpectedReferral)
{
    const auto expected = ExpectedReferrals();
    const auto answers = Answers();
    ASSERT_GE(answers.size(), 40u);
    ASSERT_EQ(answers.size(), expected.size());
    for (const fs::path& answer : answers) {
        const auto row = expected.find(answer.filename().string());
        ASSERT_NE(row, expected.end()) << answer.filename() << " has no expected referral";
        EXPECT_EQ(FindReferralServer(DecodeResponse(ReadFile(answer))), row->second)
            << answer.filename();
    }
}

// The server looked up ahead, from the answer as received, is the one followed once the
// whole answer is in; an answer that names several (old listings of many domains) gives the
// first of them, and one that names none gives no hint.
TEST(ReferralSamplesTest, HintAheadNamesTheServerFollowed)
{
    for (const fs::path& path : Answers()) {
        const std::string answer = ReadFile(path);
        const bool fromIana = path.filename().string().starts_with("whois.iana.org");
        std::vector<Text> named;
        for (const std::string& line : Lines(answer)) {
            if (Text server = NextWhoisServer(line + "\n", fromIana); !server.empty()) {
                named.push_back(server);
            }
        }
        const Text followed = NextWhoisServer(DecodeResponse(answer), fromIana);
        const Text expected = named.size() > 1 ? named.front() : followed;
        EXPECT_EQ(ReferralHint(answer, fromIana), expected) << path.filename();
    }
}

// Decoding loses nothing but what code page 936 cannot hold: ASCII lines come out
// unchanged and in place, and an answer in pure ASCII comes out byte for byte.
TEST(ReferralSamplesTest, DecodingKeepsAsciiLines)
{
    for (const fs::path& answer : Answers()) {
        const std::string received = ReadFile(answer);
        const Text decoded = DecodeResponse(received);
        if (IsAscii(received)) {
            EXPECT_EQ(decoded, received) << answer.filename();
            continue;
        }
        const auto before = Lines(received);
        const auto after = Lines(decoded);
        ASSERT_EQ(before.size(), after.size()) << answer.filename();
        for (std::size_t i = 0; i < before.size(); ++i) {
            if (IsAscii(before[i])) {
                EXPECT_EQ(after[i], before[i]) << answer.filename() << " line " << i + 1;
            }
        }
    }
}

// Latin-1 answers are no valid UTF-8: each of their non-ASCII bytes becomes "?".
TEST(ReferralSamplesTest, Latin1AnswersGetQuestionMarks)
{
    for (const char* name : {"whois.isnic.is__isnic.is.txt", "whois.registro.br__nic.br.txt"}) {
        const std::string received = ReadFile(fs::path(WHOIS_SAMPLES_DIR) / name);
        ASSERT_FALSE(IsAscii(received)) << name;
        std::string expected = received;
        std::replace_if(
            expected.begin(), expected.end(),
            [](char byte) { return static_cast<unsigned char>(byte) >= 0x80; }, '?');
        EXPECT_EQ(DecodeResponse(received), expected) << name;
    }
}

// Chinese in UTF-8 takes two bytes per character in code page 936.
TEST(ReferralSamplesTest, ChineseAnswerConverts)
{
    const std::string received =
        ReadFile(fs::path(WHOIS_SAMPLES_DIR) / "whois.cnnic.cn__cnnic.cn.txt");
    const Text decoded = DecodeResponse(received);
    // "中国互联网络信息中心" is the registrant of cnnic.cn.
    EXPECT_NE(decoded.find("\xD6\xD0\xB9\xFA\xBB\xA5\xC1\xAA\xCD\xF8\xC2\xE7\xD0\xC5\xCF\xA2"
                           "\xD6\xD0\xD0\xC4"),
              Text::npos);
    EXPECT_EQ(decoded.find('?'), Text::npos);
}

} // namespace
} // namespace whois
