#pragma once

#include "net/ConnectFailure.h"
#include "text/Text.h"

#include <string>
#include <vector>

namespace whois {

// Why a server gave no answer.
enum class FailureReason {
    InvalidName,         // the server's name cannot be looked up at all
    NameNotFound,        // the name does not exist
    NoAddress,           // the name has no address
    ResolverFailed,      // the name lookup failed
    Refused,             // the connection was refused
    Unreachable,         // no route to the server
    ConnectTimedOut,     // no connection within the time allowed
    ConnectReset,        // the connection was reset while it was being made
    ClosedWithoutAnswer, // connected, then closed before sending a byte
    ResetWithoutAnswer,  // connected, then reset before sending a byte
    SilentWithoutAnswer, // connected, then sent nothing until the silence or deadline bound
    NoServerNamed,       // IANA knows no port-43 server for the query
    ConnectTooSlow,      // no connection soon enough while RDAP could answer instead
    NoRdapService,       // RDAP only was asked for, and no RDAP server serves the query
    RdapFailed,          // an RDAP server was asked and gave no record
};

// How an answer that arrived came to its end.
enum class AnswerEnd {
    Closed,   // the server closed the connection: the whole answer
    Silence,  // nothing more arrived for the silence bound
    SizeCap,  // the size bound was reached
    Deadline, // the connection was open for the whole-answer bound
    Reset,    // the connection was reset in mid-answer
};

struct ServerFailure {
    Text server;
    FailureReason reason;
};

FailureReason FailureFromConnect(ConnectFailure failure);

// The reason in the window's words, in UTF-8.
std::string DescribeFailure(FailureReason reason);
// The line that follows an answer cut short, in UTF-8; empty for a whole answer.
std::string DescribeCutShort(AnswerEnd end);
// One line per failure, "server: reason", in code page 936 for the result box, followed by
// `more` (UTF-8 lines).
Text FailureLines(const std::vector<ServerFailure>& failures, const std::string& more = {});

} // namespace whois
