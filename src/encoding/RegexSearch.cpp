#include "encoding/RegexSearch.h"

#include "encoding/IcuConversion.h"
#include "text/QuoteMarker.h"
#include "text/TextOperations.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <limits>
#include <mutex>
#include <vector>

namespace whois {
namespace {

// Bounds on one attempt of the engine, so that a hostile answer cannot hold the thread:
// backtracking steps per start position, nesting depth, and memory for backtracking.
constexpr std::uint32_t kMatchLimit = 1'000'000;
constexpr std::uint32_t kDepthLimit = 100'000;
constexpr std::uint32_t kHeapLimitKiB = 64 * 1024;

struct CodeFree {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct CompileContextFree {
    void operator()(pcre2_compile_context* context) const { pcre2_compile_context_free(context); }
};
struct MatchContextFree {
    void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};
struct MatchDataFree {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};

using Code = std::unique_ptr<pcre2_code, CodeFree>;
using CompileContext = std::unique_ptr<pcre2_compile_context, CompileContextFree>;
using MatchContext = std::unique_ptr<pcre2_match_context, MatchContextFree>;
using MatchData = std::unique_ptr<pcre2_match_data, MatchDataFree>;

PCRE2_SPTR Units(std::u16string_view units)
{
    static_assert(sizeof(char16_t) == sizeof(PCRE2_UCHAR));
    return reinterpret_cast<PCRE2_SPTR>(units.data());
}

// Patterns, replacements and group texts cross in code page 936 without composition, up to
// the first zero character.
std::u16string ToEngine(std::string_view text)
{
    return DecodeToUnits(UpToFirstZero(text), CodePage::Cp936);
}

Text FromEngine(std::u16string_view units)
{
    return Text(UpToFirstZero(EncodeUnits(UpToFirstZero(units), CodePage::Cp936, false)));
}

Code Compile(std::u16string_view pattern, bool ignoreCase, bool multiLine)
{
    CompileContext context(pcre2_compile_context_create(nullptr));
    if (!context) {
        return nullptr;
    }
    pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);
    // No \C: it could stop a match inside a surrogate pair. $ without multi-line means the
    // very end, as in script engines, not also before a final line feed.
    std::uint32_t options = PCRE2_UTF | PCRE2_NEVER_BACKSLASH_C | PCRE2_DOLLAR_ENDONLY;
    if (ignoreCase) {
        options |= PCRE2_CASELESS;
    }
    if (multiLine) {
        options |= PCRE2_MULTILINE;
    }
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    return Code(pcre2_compile(Units(pattern), pattern.size(), options, &error, &errorOffset,
                              context.get()));
}

bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

std::size_t DigitAt(std::u16string_view text, std::size_t index)
{
    return index < text.size() && text[index] >= u'0' && text[index] <= u'9'
               ? static_cast<std::size_t>(text[index] - u'0')
               : std::numeric_limits<std::size_t>::max();
}

} // namespace

struct RegexSearch::Engine {
    std::u16string pattern;
    bool ignoreCase = false;
    bool multiLine = false;
    Code code; // null when the pattern was rejected
};

namespace {

// The patterns compiled last, shared by every search: an answer is searched with the same
// few patterns again and again, and compiling one costs more than a search of a short answer.
// A compiled pattern is read-only, so searches on several threads may share it.
class CompiledPatterns {
  public:
    std::shared_ptr<const RegexSearch::Engine> Get(std::u16string pattern, bool ignoreCase,
                                                   bool multiLine)
    {
        {
            const std::lock_guard lock(mutex_);
            for (const auto& engine : engines_) {
                if (engine->ignoreCase == ignoreCase && engine->multiLine == multiLine &&
                    engine->pattern == pattern) {
                    return engine;
                }
            }
        }
        auto made = std::make_shared<RegexSearch::Engine>();
        made->code = Compile(pattern, ignoreCase, multiLine);
        made->pattern = std::move(pattern);
        made->ignoreCase = ignoreCase;
        made->multiLine = multiLine;
        const std::lock_guard lock(mutex_);
        if (engines_.size() == kKept) {
            engines_.erase(engines_.begin());
        }
        engines_.push_back(made);
        return made;
    }

  private:
    static constexpr std::size_t kKept = 16;
    std::mutex mutex_;
    std::vector<std::shared_ptr<const RegexSearch::Engine>> engines_;
};

CompiledPatterns& SharedPatterns()
{
    static CompiledPatterns patterns;
    return patterns;
}

} // namespace

// For every match, the start and end unit offsets of the whole match and of each group.
struct RegexSearch::MatchList {
    std::size_t groupCount = 0;
    std::vector<PCRE2_SIZE> offsets;

    std::size_t Count() const { return offsets.size() / Stride(); }
    std::size_t Stride() const { return 2 * (groupCount + 1); }
    PCRE2_SIZE Start(std::size_t match, std::size_t group) const
    {
        return offsets[match * Stride() + 2 * group];
    }
    PCRE2_SIZE End(std::size_t match, std::size_t group) const
    {
        return offsets[match * Stride() + 2 * group + 1];
    }
};

namespace {

// Walks the matches left to right without overlap; after an empty match the next attempt
// starts one character further on. A limit hit or any other engine error ends the walk with
// the matches found so far.
void CollectMatches(const pcre2_code& code, std::u16string_view subject, bool global,
                    std::vector<PCRE2_SIZE>& offsets, std::size_t stride)
{
    MatchData data(pcre2_match_data_create_from_pattern(&code, nullptr));
    MatchContext context(pcre2_match_context_create(nullptr));
    if (!data || !context) {
        return;
    }
    pcre2_set_match_limit(context.get(), kMatchLimit);
    pcre2_set_depth_limit(context.get(), kDepthLimit);
    pcre2_set_heap_limit(context.get(), kHeapLimitKiB);

    // The subject is checked as UTF-16 once; later attempts on it skip the check, which
    // would otherwise make the walk quadratic.
    std::uint32_t options = 0;
    PCRE2_SIZE start = 0;
    while (start <= subject.size()) {
        const int found = pcre2_match(&code, Units(subject), subject.size(), start, options,
                                      data.get(), context.get());
        if (found <= 0) {
            break;
        }
        options = PCRE2_NO_UTF_CHECK;
        const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(data.get());
        offsets.insert(offsets.end(), vector, vector + stride);
        if (!global) {
            break;
        }
        PCRE2_SIZE next = vector[1];
        if (vector[1] <= vector[0]) {
            next = vector[0] + 1;
            if (next < subject.size() && IsHighSurrogate(subject[next - 1]) &&
                IsLowSurrogate(subject[next])) {
                ++next;
            }
        }
        start = std::max(next, start + 1);
    }
}

} // namespace

RegexSearch::RegexSearch() = default;
RegexSearch::RegexSearch(const RegexSearch& other) = default;
RegexSearch& RegexSearch::operator=(const RegexSearch& other) = default;
RegexSearch::~RegexSearch() = default;

std::unique_ptr<RegexSearch> RegexSearch::Copy() const
{
    return std::make_unique<RegexSearch>(*this);
}

bool RegexSearch::Search(std::string_view pattern, std::string_view subjectText,
                         std::optional<bool> caseSensitive, std::optional<bool> multiLine,
                         std::optional<bool> global, std::optional<bool> quoteMarker)
{
    const bool ignoreCase = caseSensitive ? !*caseSensitive : true;
    engine.reset();
    matches.reset();
    walkedUnits = 0;
    walkedBytes = 0;

    // "Singleline" has no counterpart: the dot never matches a line feed.
    engine = SharedPatterns().Get(ToEngine(quoteMarker.value_or(false)
                                               ? ReplaceText(pattern, kQuoteMarker, "\"")
                                               : Text(pattern)),
                                  ignoreCase, multiLine.value_or(true));
    subject = DecodeToUnits(UpToFirstZero(subjectText), CodePage::Cp936);
    if (!engine->code) {
        return false;
    }

    auto found = std::make_shared<MatchList>();
    std::uint32_t captures = 0;
    pcre2_pattern_info(engine->code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
    found->groupCount = captures;
    CollectMatches(*engine->code, subject, global.value_or(true), found->offsets, found->Stride());
    matches = std::move(found);
    return true;
}

Text RegexSearch::GetPattern() const
{
    return engine ? FromEngine(engine->pattern) : Text();
}

Text RegexSearch::ReplaceMatches(std::string_view replacement) const
{
    if (!matches) {
        return Text();
    }
    const std::u16string_view all(subject);
    const std::u16string with = ToEngine(replacement);
    const std::size_t groups = matches->groupCount;
    std::u16string result;
    result.reserve(all.size());
    PCRE2_SIZE copied = 0;
    for (std::size_t m = 0; m < matches->Count(); ++m) {
        const PCRE2_SIZE start = std::max(matches->Start(m, 0), copied);
        const PCRE2_SIZE end = std::max(matches->End(m, 0), start);
        result.append(all.substr(copied, start - copied));
        const auto appendGroup = [&](std::size_t group) {
            const PCRE2_SIZE from = matches->Start(m, group);
            if (from != PCRE2_UNSET) {
                result.append(all.substr(from, matches->End(m, group) - from));
            }
        };
        for (std::size_t i = 0; i < with.size(); ++i) {
            if (with[i] != u'$' || i + 1 == with.size()) {
                result.push_back(with[i]);
                continue;
            }
            const char16_t token = with[i + 1];
            const std::size_t tens = DigitAt(with, i + 1);
            const std::size_t ones = DigitAt(with, i + 2);
            if (token == u'$') {
                result.push_back(u'$');
                ++i;
            } else if (token == u'&') {
                result.append(all.substr(start, end - start));
                ++i;
            } else if (token == u'`') {
                result.append(all.substr(0, start));
                ++i;
            } else if (token == u'\'') {
                result.append(all.substr(end));
                ++i;
            } else if (ones <= 9 && tens * 10 + ones >= 1 && tens * 10 + ones <= groups) {
                appendGroup(tens * 10 + ones);
                i += 2;
            } else if (tens >= 1 && tens <= 9 && tens <= groups) {
                appendGroup(tens);
                ++i;
            } else {
                result.push_back(u'$');
            }
        }
        copied = end;
    }
    result.append(all.substr(copied));
    return FromEngine(result);
}

std::int32_t RegexSearch::MatchCount() const
{
    return matches ? static_cast<std::int32_t>(std::min<std::size_t>(matches->Count(), INT32_MAX))
                   : 0;
}

Text RegexSearch::MatchText(std::int32_t matchNumber, Position* position) const
{
    if (matchNumber < 1 || matchNumber > MatchCount()) {
        return Text();
    }
    const auto m = static_cast<std::size_t>(matchNumber - 1);
    const PCRE2_SIZE start = matches->Start(m, 0);
    const PCRE2_SIZE end = std::max(matches->End(m, 0), start);
    if (position) {
        *position = ByteOffset(start);
    }
    return Text(UpToFirstZero(EncodeUnits(std::u16string_view(subject).substr(start, end - start),
                                          CodePage::Cp936, true)));
}

Text RegexSearch::SubMatchText(std::int32_t matchNumber, std::int32_t groupNumber,
                               Position* position) const
{
    if (matchNumber < 1 || matchNumber > MatchCount() || groupNumber < 1 ||
        static_cast<std::size_t>(groupNumber) > matches->groupCount) {
        return Text();
    }
    const auto m = static_cast<std::size_t>(matchNumber - 1);
    const auto group = static_cast<std::size_t>(groupNumber);
    const PCRE2_SIZE start = matches->Start(m, group);
    if (start == PCRE2_UNSET) {
        if (position) {
            *position = ByteOffset(matches->Start(m, 0));
        }
        return Text();
    }
    const PCRE2_SIZE end = std::max(matches->End(m, group), start);
    if (position) {
        *position = ByteOffset(start);
    }
    return FromEngine(std::u16string_view(subject).substr(start, end - start));
}

std::int32_t RegexSearch::SubMatchCount() const
{
    return MatchCount() > 0 ? static_cast<std::int32_t>(matches->groupCount) : 0;
}

Position RegexSearch::ByteOffset(std::size_t unitOffset) const
{
    if (unitOffset < walkedUnits) {
        walkedUnits = 0;
        walkedBytes = 0;
    }
    const std::u16string_view stretch =
        std::u16string_view(subject).substr(walkedUnits, unitOffset - walkedUnits);
    walkedBytes += static_cast<Position>(EncodeUnits(stretch, CodePage::Cp936, true).size());
    walkedUnits = unitOffset;
    return walkedBytes;
}

} // namespace whois
