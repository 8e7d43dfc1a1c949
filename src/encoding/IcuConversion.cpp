#include "encoding/IcuConversion.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/unorm2.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <type_traits>

namespace whois {
namespace {

struct ConverterClose {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterClose>;

// Code page 936 is Microsoft's table: U+20AC gives 0x80, and what it lacks gives "?".
const char* IcuName(CodePage codePage)
{
    return codePage == CodePage::Utf8 ? "UTF-8" : "windows-936-2000";
}

// Every character the code page lacks becomes one "?". ICU's own substitution would drop
// default-ignorable characters such as U+FEFF silently instead.
void SubstituteQuestionMark(const void*, UConverterFromUnicodeArgs* args, const UChar*, int32_t,
                            UChar32, UConverterCallbackReason reason, UErrorCode* status)
{
    if (reason == UCNV_UNASSIGNED || reason == UCNV_ILLEGAL || reason == UCNV_IRREGULAR) {
        *status = U_ZERO_ERROR;
        ucnv_cbFromUWriteBytes(args, "?", 1, 0, status);
    }
}

Converter Open(CodePage codePage)
{
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(IcuName(codePage), &status));
    if (U_FAILURE(status)) {
        return nullptr;
    }
    ucnv_setFromUCallBack(converter.get(), SubstituteQuestionMark, nullptr, nullptr, nullptr,
                          &status);
    return U_SUCCESS(status) ? std::move(converter) : nullptr;
}

// This thread's converter for `codePage`, reset for a new text: opening one costs more than
// converting a short text, and a lookup converts several.
UConverter* Reused(CodePage codePage)
{
    thread_local Converter utf8;
    thread_local Converter cp936;
    Converter& kept = codePage == CodePage::Utf8 ? utf8 : cp936;
    if (!kept) {
        kept = Open(codePage);
    } else {
        ucnv_reset(kept.get());
    }
    return kept.get();
}

// Both code pages give every byte below 0x80 the character of the same number, and most
// whois answers hold nothing else: such text is copied unit for unit, without a converter.
// Both loops run without branches, which the compiler turns into vector code.
template <typename Unit> bool AllAscii(std::basic_string_view<Unit> text)
{
    std::make_unsigned_t<Unit> seen = 0;
    for (const Unit unit : text) {
        seen |= static_cast<std::make_unsigned_t<Unit>>(unit);
    }
    return seen < 0x80;
}

template <typename To, typename From> To CopyAscii(std::basic_string_view<From> from)
{
    To to(from.size(), typename To::value_type{});
    for (std::size_t i = 0; i < from.size(); ++i) {
        to[i] = static_cast<typename To::value_type>(from[i]);
    }
    return to;
}

// A base character followed by combining marks becomes the precomposed character where one
// exists; nothing else changes (full NFC would also swap compatibility ideographs that code
// page 936 has for other characters). The usual subject is already composed, which the quick
// check finds without copying.
std::u16string Composed(std::u16string_view units)
{
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
    if (U_FAILURE(status) || units.size() > INT32_MAX) {
        return std::u16string(units);
    }
    const auto length = static_cast<int32_t>(units.size());
    const int32_t composedPrefix = unorm2_spanQuickCheckYes(nfc, units.data(), length, &status);
    if (U_FAILURE(status) || composedPrefix == length) {
        return std::u16string(units);
    }

    std::u16string result;
    result.reserve(units.size());
    std::size_t baseAt = std::u16string::npos; // where the last base character begins
    UChar32 base = 0;
    for (int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U16_NEXT(units.data(), i, length, c);
        if (baseAt != std::u16string::npos && unorm2_getCombiningClass(nfc, c) != 0) {
            const UChar32 precomposed = unorm2_composePair(nfc, base, c);
            if (precomposed >= 0) {
                result.resize(baseAt);
                UChar pair[2];
                int32_t pairLength = 0;
                U16_APPEND_UNSAFE(pair, pairLength, precomposed);
                result.append(pair, static_cast<std::size_t>(pairLength));
                base = precomposed;
                continue;
            }
        }
        if (unorm2_getCombiningClass(nfc, c) == 0) {
            baseAt = result.size();
            base = c;
        }
        UChar encoded[2];
        int32_t encodedLength = 0;
        U16_APPEND_UNSAFE(encoded, encodedLength, c);
        result.append(encoded, static_cast<std::size_t>(encodedLength));
    }
    return result;
}

} // namespace

std::string_view UpToFirstZero(std::string_view bytes)
{
    return bytes.substr(0, bytes.find('\0'));
}

std::u16string_view UpToFirstZero(std::u16string_view units)
{
    return units.substr(0, units.find(u'\0'));
}

// Both directions convert through a small buffer that stays in cache and append to a result
// reserved once for the largest possible size, so that no large area is filled twice.
constexpr std::size_t kChunk = 16 * 1024;

std::u16string DecodeToUnits(std::string_view bytes, CodePage codePage)
{
    if (bytes.empty()) {
        return {};
    }
    if (AllAscii(bytes)) {
        return CopyAscii<std::u16string>(bytes);
    }
    UConverter* const converter = Reused(codePage);
    if (converter == nullptr) {
        return {};
    }
    // No byte of UTF-8 or code page 936 yields more than one unit.
    std::u16string units;
    units.reserve(bytes.size());
    UChar chunk[kChunk];
    const char* source = bytes.data();
    const char* const sourceEnd = bytes.data() + bytes.size();
    UErrorCode status = U_BUFFER_OVERFLOW_ERROR;
    while (status == U_BUFFER_OVERFLOW_ERROR) {
        status = U_ZERO_ERROR;
        UChar* target = chunk;
        ucnv_toUnicode(converter, &target, chunk + kChunk, &source, sourceEnd, nullptr, true,
                       &status);
        units.append(chunk, static_cast<std::size_t>(target - chunk));
    }
    if (U_FAILURE(status)) {
        return {};
    }
    return units;
}

std::string EncodeUnits(std::u16string_view units, CodePage codePage, bool compose)
{
    if (units.empty()) {
        return {};
    }
    // Plain ASCII is already composed.
    if (AllAscii(units)) {
        return CopyAscii<std::string>(units);
    }
    const std::u16string composed = compose ? Composed(units) : std::u16string();
    const std::u16string_view input = compose ? std::u16string_view(composed) : units;

    UConverter* const converter = Reused(codePage);
    if (converter == nullptr) {
        return {};
    }
    std::string bytes;
    bytes.reserve(input.size() * static_cast<std::size_t>(ucnv_getMaxCharSize(converter)));
    char chunk[kChunk];
    const UChar* source = input.data();
    const UChar* const sourceEnd = input.data() + input.size();
    UErrorCode status = U_BUFFER_OVERFLOW_ERROR;
    while (status == U_BUFFER_OVERFLOW_ERROR) {
        status = U_ZERO_ERROR;
        char* target = chunk;
        ucnv_fromUnicode(converter, &target, chunk + kChunk, &source, sourceEnd, nullptr, true,
                         &status);
        bytes.append(chunk, static_cast<std::size_t>(target - chunk));
    }
    if (U_FAILURE(status)) {
        return {};
    }
    return bytes;
}

} // namespace whois
