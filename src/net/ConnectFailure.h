#pragma once

namespace whois {

// Why a connection could not be made, for the user to read. The first three come from the
// name lookup, the rest from the connection attempts.
enum class ConnectFailure {
    InvalidTarget,  // empty host, a zero byte in it, or a port outside 1..65535
    NameNotFound,   // the name does not exist
    NoAddress,      // the name exists but has no IPv4 or IPv6 address
    ResolverFailed, // the name lookup failed (no name server answered, or it said so)
    Refused,        // every address refused the connection
    Unreachable,    // no route to any address
    TimedOut,       // no connection within the time allowed for lookup and connect together
    Reset,          // the connection was reset while it was being made
};

// How a connection that was made came to its end.
enum class CloseKind {
    Closed, // the peer closed it (end of stream)
    Reset,  // the peer reset it, or another socket error ended it
};

} // namespace whois
