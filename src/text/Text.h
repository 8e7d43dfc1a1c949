#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace whois {

// A text is a byte string in code page 936 (simplified Chinese). It may hold any byte;
// the empty text also stands for an absent one.
using Text = std::string;
using TextList = std::vector<Text>;

// Byte positions count from 1; a search that finds nothing gives -1. Counts are bytes.
using Position = std::int64_t;
inline constexpr Position kNotFound = -1;

// Walking "by characters": every byte from 0x80 up begins a two-byte character together
// with the byte after it; any other byte is a character of its own. A lead byte that is
// the last byte of the text is a one-byte character.
inline bool IsLeadByte(char byte)
{
    return static_cast<unsigned char>(byte) >= 0x80;
}

inline std::size_t CharWidthAt(std::string_view text, std::size_t index)
{
    return IsLeadByte(text[index]) && index + 1 < text.size() ? 2 : 1;
}

// The code page 936 full-width space, the byte pair A1 A1, at `index`.
inline bool IsFullWidthSpace(std::string_view text, std::size_t index)
{
    return index + 1 < text.size() && static_cast<unsigned char>(text[index]) == 0xA1 &&
           static_cast<unsigned char>(text[index + 1]) == 0xA1;
}

} // namespace whois
