#pragma once

#include "text/Text.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace whois {

// One regular expression run over one code page 936 text. The engine is PCRE2 on UTF-16:
// the dot matches everything but a line feed (a carriage return too), ^ and $ see line
// feeds only, \s is exactly space, tab, LF, CR, FF and VT. Matches and groups count from 1.
// Nothing here fails loudly: a rejected pattern or an out-of-range number gives false, 0
// or the empty text.
class RegexSearch {
  public:
    RegexSearch();
    // A copy shares the compiled pattern and the matches (neither changes after the search
    // that made them) and holds its own subject.
    RegexSearch(const RegexSearch& other);
    RegexSearch& operator=(const RegexSearch& other);
    virtual ~RegexSearch();

    virtual std::unique_ptr<RegexSearch> Copy() const;

    // Runs `pattern` over `subject` up to its first zero byte and keeps the matches until
    // the next search. Flags not given: case matters not, ^ and $ work per line, every
    // match is kept, and "#引号" in the pattern is taken literally. With `quoteMarker`,
    // each "#引号" in the pattern stands for a double quote. False only when the pattern
    // is rejected; a subject without matches gives true.
    virtual bool Search(std::string_view pattern, std::string_view subject,
                        std::optional<bool> caseSensitive = std::nullopt,
                        std::optional<bool> multiLine = std::nullopt,
                        std::optional<bool> global = std::nullopt,
                        std::optional<bool> quoteMarker = std::nullopt);

    // The pattern of the last search as the engine took it; empty before any search.
    virtual Text GetPattern() const;

    // The last subject with the matches replaced. In `replacement`, $1..$99 stand for a
    // group, $& for the match, $` and $' for the subject before and after it, $$ for "$".
    // Empty before any search and after a rejected pattern.
    virtual Text ReplaceMatches(std::string_view replacement) const;

    virtual std::int32_t MatchCount() const;

    // The text of match `matchNumber`. When `position` is given, it receives the zero-based
    // byte offset of that match in the subject; it is left alone when there is no such match.
    virtual Text MatchText(std::int32_t matchNumber, Position* position = nullptr) const;

    // The text of group `groupNumber` of match `matchNumber`; empty for a group that took no
    // part. `position` receives the group's zero-based byte offset in the subject (the
    // match's own offset for a group that took no part).
    virtual Text SubMatchText(std::int32_t matchNumber, std::int32_t groupNumber,
                              Position* position = nullptr) const;

    // Capture groups in the pattern; 0 when the last search found no match.
    virtual std::int32_t SubMatchCount() const;

    // A pattern as the engine compiled it; searches with the same pattern share one.
    struct Engine;

  private:
    struct MatchList;

    // Byte offset in code page 936 of a unit offset in the subject. Walks on from the last
    // offset asked for, so that asking in order costs one pass over the subject.
    Position ByteOffset(std::size_t unitOffset) const;

    std::shared_ptr<const Engine> engine;
    std::shared_ptr<const MatchList> matches;
    std::u16string subject;
    mutable std::size_t walkedUnits = 0;
    mutable Position walkedBytes = 0;
};

} // namespace whois
