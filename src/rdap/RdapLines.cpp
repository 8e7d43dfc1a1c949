#include "rdap/RdapLines.h"

namespace whois {
namespace {

// Calls `each` with every line of `text`, split at LF, CR LF or a lone CR.
template <typename Each> void ForEachLine(std::string_view text, Each each)
{
    std::size_t from = 0;
    while (true) {
        const std::size_t end = text.find_first_of("\r\n", from);
        if (end == std::string_view::npos) {
            each(text.substr(from));
            return;
        }
        each(text.substr(from, end - from));
        from = end + 1;
        if (text[end] == '\r' && from < text.size() && text[from] == '\n') {
            ++from;
        }
    }
}

} // namespace

bool IsBlankByte(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7F;
}

std::string_view TrimBlank(std::string_view value)
{
    while (!value.empty() && IsBlankByte(value.front())) {
        value.remove_prefix(1);
    }
    while (!value.empty() && IsBlankByte(value.back())) {
        value.remove_suffix(1);
    }
    return value;
}

void RdapLines::AppendClean(std::string_view value)
{
    // Appended at once, then control bytes blanked in place: they are rare.
    const std::size_t start = text_.size();
    text_ += value;
    for (std::size_t i = start; i < text_.size(); ++i) {
        if (static_cast<unsigned char>(text_[i]) < 0x20 || text_[i] == 0x7F) {
            text_[i] = ' ';
        }
    }
}

void RdapLines::Field(std::string_view key, std::string_view value)
{
    value = TrimBlank(value);
    if (value.empty()) {
        return;
    }
    text_ += key;
    text_ += ": ";
    AppendClean(value);
    text_ += '\n';
}

void RdapLines::MultiLineField(std::string_view key, std::string_view value)
{
    ForEachLine(value, [&](std::string_view line) { Field(key, line); });
}

void RdapLines::Line(std::string_view text)
{
    while (!text.empty() && IsBlankByte(text.back())) {
        text.remove_suffix(1);
    }
    AppendClean(text);
    text_ += '\n';
}

void RdapLines::Lines(std::string_view text)
{
    ForEachLine(text, [&](std::string_view line) { Line(line); });
}

} // namespace whois
