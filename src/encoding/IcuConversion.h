#pragma once

#include "encoding/CodePageConversion.h"

#include <string>
#include <string_view>

// The converters behind the code-page operations, on UTF-16 code units in memory rather
// than on little-endian byte buffers. The search object uses them directly so that large
// subjects cross without extra copies.
namespace whois {

// The bytes before the first zero byte; all of them when there is none.
std::string_view UpToFirstZero(std::string_view bytes);
std::u16string_view UpToFirstZero(std::u16string_view units);

// UTF-16 units of `bytes` read in `codePage`, every byte read (zero bytes too). Invalid
// sequences become U+FFFD. Never fails; the empty input gives no units.
std::u16string DecodeToUnits(std::string_view bytes, CodePage codePage);

// Bytes of `units` in `codePage`, every unit converted (zero units too). With `compose`, a
// base character followed by combining marks becomes the precomposed character where one
// exists (NFC) before the conversion. Characters the code page lacks, unpaired surrogates
// included, become "?". Never fails; no units give the empty text.
std::string EncodeUnits(std::u16string_view units, CodePage codePage, bool compose);

} // namespace whois
