#pragma once

#include "lookup/LookupBoxes.h"
#include "lookup/LookupFailure.h"
#include "lookup/LookupObserver.h"
#include "lookup/LookupState.h"
#include "lookup/RdapData.h"
#include "lookup/RdapRoute.h"
#include "lookup/RouteCache.h"
#include "naming/WhoisQuery.h"
#include "net/EventLoop.h"
#include "net/TcpClient.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace whois {

// The bounds of one lookup and the servers it starts from.
struct LookupLimits {
    int whoisPort = 43;
    // An answer is the bytes that arrived until the server closed the connection, or
    // until it sent nothing for `idleTimeout`, or `deadline` after the connection opened,
    // or `maxAnswerBytes`.
    std::chrono::milliseconds idleTimeout{10'000};
    std::chrono::milliseconds deadline{60'000};
    std::size_t maxAnswerBytes = std::size_t{4} << 20;
    // Referral chains end: at most this many follow-ups after one query command.
    int maxFollowUps = 5;
    // The directory of last resort.
    std::string ianaServer = "whois.iana.org";
    // Asked first instead of the directory's server, when given.
    std::string firstServer;
    // False: the first answer is the result.
    bool followReferrals = true;
    // RDAP is asked when port 43 gives nothing (or next to nothing) for the query.
    bool useRdap = true;
    // RDAP only, no port 43.
    bool rdapOnly = false;
    // A registry's port-43 server that has not accepted the connection by then gives way
    // to RDAP, when RDAP serves the query.
    std::chrono::milliseconds port43Patience{3'000};
    // A lookup for a top-level domain the RDAP data does not know waits at most this long
    // for a refresh of the data that is due.
    std::chrono::milliseconds rdapRefreshWait{5'000};
};

// The route cache's entry for a top-level domain that RDAP answers for faster than port 43.
inline constexpr char kRdapRoute[] = "rdap";

// A whois lookup from the query box to the boxes that show the answer: the query command,
// the handling of each answer and the follow-up of a referral. When the server named for the
// query cannot be used it asks IANA's server, and follows the server IANA names. It binds the
// client's events; the owner binds the query button to RunQuery and the result box's
// content-changed event to StartFollowUp.
class Lookup {
  public:
    using Limits = LookupLimits;

    Lookup(LookupState& state, TcpClient& client, LookupBoxes& boxes, EventLoop& loop,
           Limits limits = {}, RouteCache* routes = nullptr, LookupObserver* observer = nullptr,
           RdapRoute* rdap = nullptr, RdapData* rdapData = nullptr);
    ~Lookup();
    Lookup(const Lookup&) = delete;
    Lookup& operator=(const Lookup&) = delete;

    // Names the registry's server for the query box text and sends it the query. Abandons a
    // lookup still in flight. A query box holding only spaces does nothing at all.
    void RunQuery();
    // Sends the query on to the referral server when the latest answer named one.
    void StartFollowUp();

    bool InFlight() const { return exchange_.has_value() || rdapInFlight_; }

  private:
    struct Exchange {
        Text server;
        ServerRole role;
        std::string answer;
        bool connected = false;
        std::chrono::steady_clock::time_point startedAt;
        bool referralLookedUp = false; // the name it refers to is being resolved ahead
        std::size_t linesRead = 0;     // the answer's bytes looked through for that name
    };

    // Shows a whole answer, decides on a follow-up and applies the fallback rule. `trailer`
    // (UTF-8 lines) follows the answer on display.
    void HandleResponse(std::string answer, AnswerEnd end, bool followReferrals,
                        const std::string& trailer = {});

    void BeginExchange(const Text& server, ServerRole role);
    void OnConnected();
    void OnConnectFailed(ConnectFailure failure);
    void OnDataArrived();
    void OnConnectionClosed(CloseKind kind);
    void FinishExchange(AnswerEnd end);
    void ExchangeFailed(Exchange exchange, FailureReason reason);
    void AnswerArrived(Exchange exchange, std::string answer, AnswerEnd end);
    void FinishLookup();
    void FailLookup();
    void Report(const Exchange& exchange, std::size_t bytes, std::optional<FailureReason> failure,
                AnswerEnd end);
    bool StartRdap();
    void RdapFinished(RdapResult result);
    void StartPort43Route(const std::optional<std::string>& remembered);
    void OnPatienceOver();
    void RestartIdleTimer();
    void PrefetchReferral(std::size_t before);
    void ArmIdleTimer(std::chrono::milliseconds delay);
    void CancelTimers();
    void Abandon();
    bool AlreadyAsked(const Text& server) const;
    std::string TopLevelLabel() const;

    LookupState& state_;
    TcpClient& client_;
    LookupBoxes& boxes_;
    EventLoop& loop_;
    Limits limits_;
    RouteCache* routes_;
    LookupObserver* observer_;
    RdapRoute* rdap_;
    RdapData* rdapData_;

    // The lookup in flight.
    Text typed_; // the query box, trimmed, when the query command ran
    std::string request_;
    QueryKind kind_ = QueryKind::Keyword;
    std::optional<Exchange> exchange_;
    std::optional<EventLoop::TimerId> idleTimer_;
    std::chrono::steady_clock::time_point lastDataAt_;
    std::optional<EventLoop::TimerId> deadlineTimer_;
    std::optional<EventLoop::TimerId> patienceTimer_;
    std::optional<EventLoop::TimerId> refreshWaitTimer_;
    std::vector<Text> askedServers_;
    std::vector<ServerFailure> failures_;
    int followUps_ = 0;
    bool directoryFailed_ = false; // the first server could not be used: IANA's is remembered
    std::uint64_t generation_ = 0; // changes with every query command
    bool rdapTried_ = false;
    bool refreshWaited_ = false;
    bool rdapInFlight_ = false;
    bool rdapRemembered_ = false;        // RDAP was asked first because it answered faster before
    bool port43TooSlow_ = false;         // a registry's server did not connect in time
    std::optional<ServerRole> slowRole_; // that server's role, until RDAP has answered
    std::string rdapFailure_;            // UTF-8 lines saying why RDAP gave nothing
    std::string rdapFailureEnglish_;     // the same in English
    std::chrono::steady_clock::time_point rdapStartedAt_;
    // A registry's answer too short to show while RDAP is asked instead.
    struct HeldAnswer {
        Exchange exchange;
        std::string answer;
        AnswerEnd end;
    };
    std::optional<HeldAnswer> held_;
    // What the boxes show, and the answers on display and before the latest follow-up as
    // the servers sent them.
    Text shownServer_;
    Text shownText_;
    std::string shownJson_;
    std::string shownAnswer_;
    AnswerEnd shownEnd_ = AnswerEnd::Closed;
    std::string previousAnswer_;
    AnswerEnd previousEnd_ = AnswerEnd::Closed;
};

} // namespace whois
