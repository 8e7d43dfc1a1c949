#include "net/Resolver.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace whois {

std::string NumericAddress(const ResolvedAddress& address)
{
    char text[INET6_ADDRSTRLEN] = {};
    const void* raw = address.address.ss_family == AF_INET6
                          ? static_cast<const void*>(
                                &reinterpret_cast<const sockaddr_in6&>(address.address).sin6_addr)
                          : static_cast<const void*>(
                                &reinterpret_cast<const sockaddr_in&>(address.address).sin_addr);
    return ::inet_ntop(address.address.ss_family, raw, text, sizeof text) ? text : "";
}

} // namespace whois
