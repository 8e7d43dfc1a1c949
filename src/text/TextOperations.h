#pragma once

#include "text/Text.h"

#include <initializer_list>
#include <optional>

// The byte-string operations every other part of the tool builds on. None of them fails,
// changes its arguments or reads outside them, whatever bytes they hold; every result is
// a new text. "By characters" means the two-byte walk described in Text.h.
namespace whois {

// Number of bytes; 0 for the empty text.
Position TextLength(std::string_view text);

// The arguments' bytes one after another, in argument order.
Text ConcatTexts(std::initializer_list<std::string_view> texts);

// Byte-wise comparison as unsigned values; a prefix is smaller. Negative, zero or positive.
int CompareTexts(std::string_view a, std::string_view b);

// Copy of the same length with one-byte 'A'..'Z' lowered; two-byte characters are kept whole.
Text ToLowerAscii(std::string_view text);

// Copy without leading and trailing spaces: 0x20 and the full-width space A1 A1. A lone lead
// byte at the very end is dropped together with nothing else, so spaces before it stay.
Text TrimSpaces(std::string_view text);

// Copy with every occurrence of `oldText` that begins at a character replaced by `newText`.
// Occurrences do not overlap and replaced material is not searched again.
Text ReplaceText(std::string_view text, std::string_view oldText, std::string_view newText);

// Position of the first character at or after `start` where `sought` lies wholly inside the
// text, or -1. A start below 1 or not given searches from position 1. With `ignoreCase`
// the ASCII letters of every byte compare equal to their other case.
Position FindText(std::string_view text, std::string_view sought,
                  std::optional<Position> start = std::nullopt,
                  std::optional<bool> ignoreCase = std::nullopt);

// Position of the last character where `sought` ends before position `start` (within the
// whole text when `start` is not given), or -1.
Position FindTextReverse(std::string_view text, std::string_view sought,
                         std::optional<Position> start = std::nullopt);

// Leading, trailing and inner byte runs; counts are bytes and may cut a two-byte character.
Text LeftText(std::string_view text, Position count);
Text RightText(std::string_view text, Position count);
Text MidText(std::string_view text, Position start, Position count);

// Pieces between delimiters that begin at a character. An empty last piece is dropped; an
// empty text gives no pieces; an empty delimiter or one that never occurs gives the whole text.
TextList SplitText(std::string_view text, std::string_view delimiter);

} // namespace whois
