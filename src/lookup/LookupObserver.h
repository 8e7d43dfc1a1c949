#pragma once

#include "lookup/LookupFailure.h"
#include "text/Text.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace whois {

// Why a server was asked.
enum class ServerRole {
    Named,      // the directory's server for the query's top-level label
    Remembered, // the server that answered for this top-level label before
    Given,      // the server the user chose
    Iana,       // IANA's server, when the first server could not be used
    IanaNamed,  // the server IANA's answer named
    Referral,   // the server an answer referred the query to
    Rdap,       // an RDAP server, over HTTPS
};

// One exchange with one server, as it ended.
struct ExchangeReport {
    Text server;
    ServerRole role = ServerRole::Named;
    std::string peerAddress; // the address connected to, when a connection was made
    std::size_t bytes = 0;
    std::chrono::milliseconds elapsed{};
    std::optional<FailureReason> failure; // no answer, and why
    AnswerEnd end = AnswerEnd::Closed;    // how the answer ended, when there was one
};

// What a lookup ended with.
struct LookupOutcome {
    bool answered = false; // an answer is on display; else the failure lines are
    Text server;           // the server box
    Text text;             // the result box
    std::string answer;    // the answer on display as the server sent it (UTF-8)
    std::string json;      // when the answer came over RDAP, its JSON as received
    AnswerEnd end = AnswerEnd::Closed;
    std::vector<ServerFailure> failures; // every server that gave no answer, in order
    std::string rdapFailure;             // UTF-8 lines saying why RDAP gave nothing, if asked
    std::string rdapFailureEnglish;      // the same in English
};

// Progress and the end of lookups, for front ends. Every call comes from the event loop's
// thread; none comes for a lookup that a new query abandoned.
class LookupObserver {
  public:
    virtual ~LookupObserver() = default;
    virtual void LookupStarted(const std::string& /*request*/) {}
    virtual void ExchangeStarted(const Text& /*server*/, ServerRole /*role*/) {}
    virtual void ExchangeEnded(const ExchangeReport& /*report*/) {}
    virtual void LookupFinished(const LookupOutcome& /*outcome*/) {}
};

} // namespace whois
