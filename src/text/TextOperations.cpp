#include "text/TextOperations.h"

#include <algorithm>

namespace whois {
namespace {

char LowerAscii(char byte)
{
    return byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte + 0x20) : byte;
}

bool MatchesAt(std::string_view text, std::size_t index, std::string_view sought, bool ignoreCase)
{
    if (sought.size() > text.size() - index) {
        return false;
    }
    if (!ignoreCase) {
        return text.compare(index, sought.size(), sought) == 0;
    }
    for (std::size_t k = 0; k < sought.size(); ++k) {
        if (LowerAscii(text[index + k]) != LowerAscii(sought[k])) {
            return false;
        }
    }
    return true;
}

Text Bytes(std::string_view text, std::size_t from, std::size_t count)
{
    return Text(text.substr(from, count));
}

} // namespace

Position TextLength(std::string_view text)
{
    return static_cast<Position>(text.size());
}

Text ConcatTexts(std::initializer_list<std::string_view> texts)
{
    std::size_t total = 0;
    for (std::string_view piece : texts) {
        total += piece.size();
    }
    Text result;
    result.reserve(total);
    for (std::string_view piece : texts) {
        result.append(piece);
    }
    return result;
}

int CompareTexts(std::string_view a, std::string_view b)
{
    // char_traits<char>::compare compares as unsigned char, as memcmp does.
    const int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

Text ToLowerAscii(std::string_view text)
{
    Text result(text);
    for (std::size_t i = 0; i < result.size(); i += CharWidthAt(result, i)) {
        result[i] = LowerAscii(result[i]);
    }
    return result;
}

Text TrimSpaces(std::string_view text)
{
    std::size_t begin = 0;
    while (begin < text.size()) {
        if (text[begin] == ' ') {
            begin += 1;
        } else if (IsFullWidthSpace(text, begin)) {
            begin += 2;
        } else {
            break;
        }
    }

    std::size_t end = text.size();
    std::optional<std::size_t> runStart;
    for (std::size_t i = begin; i < text.size();) {
        if (IsLeadByte(text[i]) && i + 1 == text.size()) {
            // An incomplete two-byte character: cut it off and keep what stands before it.
            return Bytes(text, begin, i - begin);
        }
        const bool space = text[i] == ' ' || IsFullWidthSpace(text, i);
        if (space && !runStart) {
            runStart = i;
        } else if (!space) {
            runStart.reset();
        }
        i += CharWidthAt(text, i);
    }
    if (runStart) {
        end = *runStart;
    }
    return Bytes(text, begin, end - begin);
}

Text ReplaceText(std::string_view text, std::string_view oldText, std::string_view newText)
{
    if (text.empty() || oldText.empty()) {
        return Text(text);
    }
    Text result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (MatchesAt(text, i, oldText, false)) {
            result.append(newText);
            i += oldText.size();
        } else {
            const std::size_t width = CharWidthAt(text, i);
            result.append(text.substr(i, width));
            i += width;
        }
    }
    return result;
}

Position FindText(std::string_view text, std::string_view sought, std::optional<Position> start,
                  std::optional<bool> ignoreCase)
{
    const std::size_t from =
        start && *start >= 1
            ? static_cast<std::size_t>(std::min<Position>(*start - 1, TextLength(text)))
            : 0;
    if (from >= text.size()) {
        return kNotFound;
    }
    if (sought.empty()) {
        return 1;
    }
    const bool caseBlind = ignoreCase.value_or(false);
    for (std::size_t i = from; i < text.size(); i += CharWidthAt(text, i)) {
        if (MatchesAt(text, i, sought, caseBlind)) {
            return static_cast<Position>(i) + 1;
        }
    }
    return kNotFound;
}

Position FindTextReverse(std::string_view text, std::string_view sought,
                         std::optional<Position> start)
{
    std::size_t searched = text.size();
    if (start) {
        searched = *start <= 1
                       ? 0
                       : static_cast<std::size_t>(std::min<Position>(*start - 1, TextLength(text)));
    }
    if (sought.empty()) {
        return searched > 0 ? 1 : kNotFound;
    }
    const std::string_view part = text.substr(0, searched);
    Position found = kNotFound;
    for (std::size_t i = 0; i < part.size(); i += CharWidthAt(text, i)) {
        if (MatchesAt(part, i, sought, false)) {
            found = static_cast<Position>(i) + 1;
        }
    }
    return found;
}

Text LeftText(std::string_view text, Position count)
{
    if (count <= 0) {
        return Text();
    }
    return Bytes(text, 0, static_cast<std::size_t>(std::min(count, TextLength(text))));
}

Text RightText(std::string_view text, Position count)
{
    if (count <= 0) {
        return Text();
    }
    const auto taken = static_cast<std::size_t>(std::min(count, TextLength(text)));
    return Bytes(text, text.size() - taken, taken);
}

Text MidText(std::string_view text, Position start, Position count)
{
    if (start < 1 || start > TextLength(text) || count <= 0) {
        return Text();
    }
    const Position available = TextLength(text) - start + 1;
    return Bytes(text, static_cast<std::size_t>(start - 1),
                 static_cast<std::size_t>(std::min(count, available)));
}

TextList SplitText(std::string_view text, std::string_view delimiter)
{
    TextList pieces;
    if (text.empty()) {
        return pieces;
    }
    if (delimiter.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    std::size_t pieceStart = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (MatchesAt(text, i, delimiter, false)) {
            pieces.push_back(Bytes(text, pieceStart, i - pieceStart));
            i += delimiter.size();
            pieceStart = i;
        } else {
            i += CharWidthAt(text, i);
        }
    }
    if (pieceStart < text.size()) {
        pieces.push_back(Bytes(text, pieceStart, text.size() - pieceStart));
    }
    return pieces;
}

} // namespace whois
