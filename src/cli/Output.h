#pragma once

#include <charconv>
#include <string>
#include <string_view>
#include <type_traits>

namespace whois::cli {

// Text for a file descriptor (standard output or error), gathered and written out whole on
// Flush and when it goes. The C++ streams are not used: setting them up costs a command
// that runs for a few milliseconds more than its lookups do.
class Output {
  public:
    explicit Output(int fd) : fd_(fd) {}
    ~Output() { Flush(); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    Output& operator<<(std::string_view text)
    {
        pending_ += text;
        return *this;
    }

    Output& operator<<(char c)
    {
        pending_ += c;
        return *this;
    }

    template <typename Number>
    requires std::is_integral_v<Number> Output& operator<<(Number number)
    {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
        pending_.append(digits, end);
        return *this;
    }

    // Writes out what was gathered; what the descriptor does not take is dropped.
    void Flush();

  private:
    int fd_;
    std::string pending_;
};

} // namespace whois::cli
