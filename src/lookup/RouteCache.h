#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace whois {

// Remembers, per top-level domain, the port-43 server that answered when the directory had
// none, so the next lookup goes straight to it. Kept in one small file for a day; several
// copies of the program may share it. A file that cannot be read or written only makes the
// cache forget: lookups never fail because of it.
class RouteCache {
  public:
    using Clock = std::chrono::system_clock;
    static constexpr std::chrono::hours kLifetime{24};

    // `file` empty: a cache that remembers nothing. `now` is the clock, for tests.
    explicit RouteCache(std::string file, std::function<Clock::time_point()> now = Clock::now);

    // The server remembered for `tld` (lower case, A-label) less than a day ago.
    std::optional<std::string> ServerFor(const std::string& tld) const;
    void Remember(const std::string& tld, const std::string& server);
    void Forget(const std::string& tld);

    // "<name>" in the program's cache directory; empty when there is none.
    static std::string DefaultFile(const std::string& name);

  private:
    void Update(const std::string& tld, const std::string* server);

    std::string file_;
    std::function<Clock::time_point()> now_;
};

} // namespace whois
