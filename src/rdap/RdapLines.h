#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace whois {

// Whois-style text built line by line. Values come from a hostile answer: control bytes
// become spaces so a value never breaks or ends a line on its own, and multi-line texts are
// split at their line ends.
class RdapLines {
  public:
    // "<key>: <value>", only when the value holds more than spaces.
    void Field(std::string_view key, std::string_view value);
    // One "<key>: <line>" per non-blank line of `value`.
    void MultiLineField(std::string_view key, std::string_view value);
    // The text as one line, line ends included, without the blanks at its end.
    void Line(std::string_view text);
    // The text as one or more lines, blank ones kept.
    void Lines(std::string_view text);
    void Blank() { text_ += '\n'; }

    const std::string& Text() const { return text_; }
    std::string Take() { return std::move(text_); }

  private:
    void AppendClean(std::string_view value);

    std::string text_;
};

// A space, a control byte or DEL.
bool IsBlankByte(char c);

// `value` without the spaces and control bytes around it.
std::string_view TrimBlank(std::string_view value);

} // namespace whois
