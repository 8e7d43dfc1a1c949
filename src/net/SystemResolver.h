#pragma once

#include "net/Resolver.h"

namespace whois {

// Resolves through the system's resolver (getaddrinfo, IPv4 only, first address). It blocks
// for as long as the system's lookup takes. Names with non-ASCII characters are looked up by
// their IDNA A-labels.
class SystemResolver : public Resolver {
  public:
    std::optional<in_addr> Resolve(const std::string& host) override;
};

} // namespace whois
