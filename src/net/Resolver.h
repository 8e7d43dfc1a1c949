#pragma once

#include <string>

#include <optional>

#include <netinet/in.h>

namespace whois {

// Turns a host name into one IPv4 address. The TCP client asks it only for names that are
// not dotted addresses; tests give it a table that points names at loopback servers.
class Resolver {
  public:
    virtual ~Resolver() = default;

    // The address to connect to, or nothing when the name does not resolve. May block.
    virtual std::optional<in_addr> Resolve(const std::string& host) = 0;
};

} // namespace whois
