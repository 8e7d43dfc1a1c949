#include "net/SystemResolver.h"

#include "net/IdnaHostName.h"

#include <netdb.h>
#include <sys/socket.h>

namespace whois {

std::optional<in_addr> SystemResolver::Resolve(const Text& host)
{
    const auto name = IdnaHostName(host);
    if (!name) {
        return std::nullopt;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name->c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    const in_addr address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return address;
}

} // namespace whois
