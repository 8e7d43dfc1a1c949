#include "net/SystemResolver.h"

#include <netdb.h>
#include <sys/socket.h>

namespace whois {

std::optional<in_addr> SystemResolver::Resolve(const std::string& host)
{
    if (host.empty() || host.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    const in_addr address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return address;
}

} // namespace whois
