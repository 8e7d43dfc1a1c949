#pragma once

#include "encoding/ByteBuffer.h"
#include "text/Text.h"

// Conversions between multibyte texts and UTF-16 buffers: little-endian byte buffers of
// UTF-16 code units. None of them fails, reports anything or changes its input; every loss
// is a substitution by "?" (or U+FFFD on the way to UTF-16).
namespace whois {

enum class CodePage {
    Utf8 = 65001,
    Cp936 = 936, // simplified Chinese, the code page of every Text
};

// The text up to its first zero byte as UTF-16, followed by one zero unit that is counted in
// the length: "ab" gives 61 00 62 00 00 00. The empty text gives the empty buffer.
ByteBuffer MultiByteToUtf16(std::string_view text, CodePage codePage);

// The units before the first zero unit (all whole units when there is none) in `codePage`,
// up to the first zero byte of the result. No units give the empty text.
Text Utf16ToMultiByte(std::string_view utf16, CodePage codePage);

// Every whole unit of the buffer (an odd last byte is dropped) in code page 936 after
// composing combining sequences, up to the first zero byte of the result.
Text Utf16ToCp936(std::string_view utf16);

} // namespace whois
