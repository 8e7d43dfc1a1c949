#pragma once

#include "lookup/LookupBoxes.h"
#include "lookup/LookupState.h"
#include "net/EventLoop.h"
#include "net/TcpClient.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace whois {

// A whois lookup from the query box to the boxes that show the answer: the query command,
// the handling of each answer and the follow-up of a referral to the registrar's server.
// It binds the client's events; the owner binds the query button to RunQuery and the result
// box's content-changed event to StartFollowUp.
class Lookup {
  public:
    struct Limits {
        int whoisPort = 43;
        // An answer is the bytes that arrived until the server closed the connection, or
        // until it sent nothing for this long, or this many bytes.
        std::chrono::milliseconds idleTimeout{10'000};
        std::size_t maxAnswerBytes = std::size_t{4} << 20;
        // Referral chains end: at most this many follow-ups after one query command.
        int maxFollowUps = 5;
    };

    Lookup(LookupState& state, TcpClient& client, LookupBoxes& boxes, EventLoop& loop);
    Lookup(LookupState& state, TcpClient& client, LookupBoxes& boxes, EventLoop& loop,
           Limits limits);
    ~Lookup();
    Lookup(const Lookup&) = delete;
    Lookup& operator=(const Lookup&) = delete;

    // Names the registry's server for the query box text and sends it the query.
    void RunQuery();
    // Sends the query on to the referral server when the latest answer named one.
    void StartFollowUp();

  private:
    // Shows a whole answer, decides on a follow-up and applies the fallback rule.
    void HandleResponse(std::string answer);

    void BeginExchange();
    void OnDataArrived();
    void OnConnectionClosed();
    void RestartIdleTimer();
    void CancelIdleTimer();
    void FinishExchange();
    bool AlreadyAsked(const Text& server) const;

    LookupState& state_;
    TcpClient& client_;
    LookupBoxes& boxes_;
    EventLoop& loop_;
    Limits limits_;

    bool exchangeOpen_ = false;
    std::string answer_;
    // The request line sent once the connection is made.
    std::string request_;
    std::optional<EventLoop::TimerId> idleTimer_;
    std::vector<Text> askedServers_;
    int followUps_ = 0;
};

} // namespace whois
