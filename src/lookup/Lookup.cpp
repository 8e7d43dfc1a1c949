#include "lookup/Lookup.h"

#include "encoding/DecodeResponse.h"
#include "lookup/FindReferralServer.h"
#include "lookup/NextWhoisServer.h"
#include "naming/IdnaHostName.h"
#include "text/TextOperations.h"

#include <algorithm>
#include <utility>

namespace whois {
namespace {

// A registry's port-43 answer shorter than this says next to nothing of the domain.
constexpr std::size_t kShortRegistryAnswer = 100;

RdapRegistry RegistryFor(QueryKind kind, const std::string& request)
{
    switch (kind) {
    case QueryKind::IpAddress:
        return request.find(':') != std::string::npos ? RdapRegistry::Ipv6 : RdapRegistry::Ipv4;
    case QueryKind::AsNumber:
        return RdapRegistry::Autnum;
    default:
        return RdapRegistry::Domain;
    }
}

} // namespace

Lookup::Lookup(LookupState& state, TcpClient& client, LookupBoxes& boxes, EventLoop& loop,
               Limits limits, RouteCache* routes, LookupObserver* observer, RdapRoute* rdap,
               RdapData* rdapData)
    : state_(state), client_(client), boxes_(boxes), loop_(loop), limits_(std::move(limits)),
      routes_(routes), observer_(observer), rdap_(rdap), rdapData_(rdapData)
{
    client_.Connected = [this] { OnConnected(); };
    client_.ConnectFailed = [this](ConnectFailure failure) { OnConnectFailed(failure); };
    client_.DataArrived = [this] { OnDataArrived(); };
    client_.ConnectionClosed = [this](CloseKind kind) { OnConnectionClosed(kind); };
}

Lookup::~Lookup()
{
    Abandon();
    client_.Connected = nullptr;
    client_.ConnectFailed = nullptr;
    client_.DataArrived = nullptr;
    client_.ConnectionClosed = nullptr;
}

void Lookup::Abandon()
{
    ++generation_;
    CancelTimers();
    if (refreshWaitTimer_) {
        loop_.CancelTimer(*refreshWaitTimer_);
        refreshWaitTimer_.reset();
    }
    exchange_.reset();
    client_.Disconnect();
    if (rdap_ != nullptr) {
        rdap_->Cancel();
    }
    rdapInFlight_ = false;
    held_.reset();
}

// Connects to `server`; the request goes out once the connection is made. A whois server
// ends its answer by closing the connection, and answers arrive in several pieces, so
// nothing is shown before the close, a pause, the deadline or the size bound.
void Lookup::BeginExchange(const Text& server, ServerRole role)
{
    CancelTimers();
    askedServers_.push_back(server);
    exchange_ = Exchange{server, role, {}, false, std::chrono::steady_clock::now()};
    if (observer_ != nullptr) {
        observer_->ExchangeStarted(server, role);
    }
    // An empty host fails at once, from the event loop, as a name that cannot be looked up.
    // The request goes out the moment the connection is made.
    client_.Connect(IdnaHostName(server).value_or(std::string()), limits_.whoisPort,
                    request_ + "\r\n");
    if (askedServers_.size() == 1 && limits_.followReferrals) {
        // While the first server is reached and answers.
        PrepareReferralSearch();
    }

    // A registry's server that does not take the connection soon gives way to RDAP, so a
    // record RDAP holds is on display long before the connection attempts run out of time.
    const bool registry = role != ServerRole::Referral && role != ServerRole::Iana;
    if (registry && kind_ == QueryKind::Domain && !rdapTried_ && rdap_ != nullptr &&
        rdapData_ != nullptr && limits_.useRdap) {
        patienceTimer_ = loop_.StartTimer(limits_.port43Patience, [this] {
            patienceTimer_.reset();
            OnPatienceOver();
        });
    }
}

void Lookup::OnPatienceOver()
{
    // Without an RDAP service for the query, port 43 keeps its whole time.
    if (!exchange_ || exchange_->connected ||
        RdapRoute::ServersFor(rdapData_->Directory(), kind_, request_).empty()) {
        return;
    }
    Exchange exchange = std::move(*exchange_);
    exchange_.reset();
    CancelTimers();
    client_.Disconnect();
    Report(exchange, 0, FailureReason::ConnectTooSlow, AnswerEnd::Closed);
    failures_.push_back(ServerFailure{exchange.server, FailureReason::ConnectTooSlow});
    state_.currentServer = exchange.server;
    port43TooSlow_ = true;
    slowRole_ = exchange.role;
    if (!StartRdap()) {
        FailLookup();
    }
}

void Lookup::OnConnected()
{
    if (!exchange_) {
        return;
    }
    exchange_->connected = true;
    if (patienceTimer_) {
        loop_.CancelTimer(*patienceTimer_);
        patienceTimer_.reset();
    }
    RestartIdleTimer();
    deadlineTimer_ = loop_.StartTimer(limits_.deadline, [this] {
        deadlineTimer_.reset();
        FinishExchange(AnswerEnd::Deadline);
    });
}

void Lookup::OnConnectFailed(ConnectFailure failure)
{
    if (!exchange_) {
        return;
    }
    Exchange exchange = std::move(*exchange_);
    exchange_.reset();
    CancelTimers();
    ExchangeFailed(std::move(exchange), FailureFromConnect(failure));
}

void Lookup::OnDataArrived()
{
    if (!exchange_ || !exchange_->connected) {
        return;
    }
    std::string& answer = exchange_->answer;
    const std::size_t before = answer.size();
    answer += client_.FetchData();
    if (answer.size() >= limits_.maxAnswerBytes) {
        answer.resize(limits_.maxAnswerBytes);
        FinishExchange(AnswerEnd::SizeCap);
        return;
    }
    PrefetchReferral(before);
    RestartIdleTimer();
}

// Resolves the server the answer refers to while the rest of it arrives and is handled, so
// the follow-up does not wait for the name. The first server named is taken; which one is
// followed is decided on the whole answer, as ever.
void Lookup::PrefetchReferral(std::size_t before)
{
    const bool fromIana = exchange_->role == ServerRole::Iana;
    if (exchange_->referralLookedUp || (!limits_.followReferrals && !fromIana)) {
        return;
    }
    // The lines this piece completes: from the first line not yet read to the piece's last
    // line break. Only the new piece is searched for that break, so an answer without line
    // breaks, arriving in many pieces, is not searched again and again.
    const std::string_view answer = exchange_->answer;
    const std::size_t lastBreak = answer.substr(before).rfind('\n');
    if (lastBreak == std::string_view::npos) {
        return;
    }
    const std::size_t begin = exchange_->linesRead;
    const std::size_t end = before + lastBreak + 1;
    exchange_->linesRead = end;
    const Text server = ReferralHint(answer.substr(begin, end - begin), fromIana);
    // The lines are still as received; only a name in ASCII reads the same decoded.
    const bool ascii = std::none_of(server.begin(), server.end(), IsLeadByte);
    if (server.empty() || !ascii || CompareTexts(server, exchange_->server) == 0) {
        return;
    }
    exchange_->referralLookedUp = true;
    if (const std::optional<std::string> host = IdnaHostName(server)) {
        client_.Prepare(*host);
    }
}

void Lookup::OnConnectionClosed(CloseKind kind)
{
    FinishExchange(kind == CloseKind::Reset ? AnswerEnd::Reset : AnswerEnd::Closed);
}

// Data restarts the silence bound. The timer itself is not restarted for every piece of an
// answer: when it runs out, it checks when the last piece came and waits out the rest.
void Lookup::RestartIdleTimer()
{
    lastDataAt_ = std::chrono::steady_clock::now();
    if (!idleTimer_) {
        ArmIdleTimer(limits_.idleTimeout);
    }
}

void Lookup::ArmIdleTimer(std::chrono::milliseconds delay)
{
    idleTimer_ = loop_.StartTimer(delay, [this] {
        idleTimer_.reset();
        const auto silent = std::chrono::steady_clock::now() - lastDataAt_;
        if (silent < limits_.idleTimeout) {
            ArmIdleTimer(
                std::chrono::ceil<std::chrono::milliseconds>(limits_.idleTimeout - silent));
            return;
        }
        FinishExchange(AnswerEnd::Silence);
    });
}

void Lookup::CancelTimers()
{
    for (std::optional<EventLoop::TimerId>* timer :
         {&idleTimer_, &deadlineTimer_, &patienceTimer_}) {
        if (*timer) {
            loop_.CancelTimer(**timer);
            timer->reset();
        }
    }
}

void Lookup::FinishExchange(AnswerEnd end)
{
    if (!exchange_ || !exchange_->connected) {
        return;
    }
    CancelTimers();
    client_.Disconnect();
    Exchange exchange = std::move(*exchange_);
    exchange_.reset();
    std::string answer;
    answer.swap(exchange.answer);
    if (answer.empty()) {
        const FailureReason reason = end == AnswerEnd::Closed  ? FailureReason::ClosedWithoutAnswer
                                     : end == AnswerEnd::Reset ? FailureReason::ResetWithoutAnswer
                                                               : FailureReason::SilentWithoutAnswer;
        ExchangeFailed(std::move(exchange), reason);
        return;
    }
    AnswerArrived(std::move(exchange), std::move(answer), end);
}

void Lookup::Report(const Exchange& exchange, std::size_t bytes,
                    std::optional<FailureReason> failure, AnswerEnd end)
{
    if (observer_ == nullptr) {
        return;
    }
    ExchangeReport report;
    report.server = exchange.server;
    report.role = exchange.role;
    report.peerAddress = exchange.connected ? client_.PeerAddress() : std::string();
    report.bytes = bytes;
    report.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - exchange.startedAt);
    report.failure = failure;
    report.end = end;
    observer_->ExchangeEnded(report);
}

// A server that gave no answer: the first server gives way to IANA's, a referral's failure
// leaves the answer on display, and any other ends the lookup with the failure lines.
void Lookup::ExchangeFailed(Exchange exchange, FailureReason reason)
{
    Report(exchange, 0, reason, AnswerEnd::Closed);
    failures_.push_back(ServerFailure{exchange.server, reason});
    state_.currentServer = exchange.server;

    switch (exchange.role) {
    case ServerRole::Remembered:
        if (routes_ != nullptr) {
            routes_->Forget(TopLevelLabel());
        }
        [[fallthrough]];
    case ServerRole::Named:
    case ServerRole::Given:
        if (!AlreadyAsked(limits_.ianaServer)) {
            directoryFailed_ = true;
            BeginExchange(limits_.ianaServer, ServerRole::Iana);
            return;
        }
        break;
    case ServerRole::Referral:
        // The answer on display is a real answer to the same query.
        FinishLookup();
        return;
    case ServerRole::Iana:
    case ServerRole::IanaNamed:
    case ServerRole::Rdap:
        break;
    }
    FailLookup();
}

void Lookup::AnswerArrived(Exchange exchange, std::string answer, AnswerEnd end)
{
    Report(exchange, answer.size(), std::nullopt, end);
    state_.currentServer = exchange.server;

    if (exchange.role == ServerRole::Iana) {
        // IANA's answer is a signpost: it names the server to ask and is not shown, but for
        // a query for a top-level domain itself, whose record it is.
        if (kind_ == QueryKind::TopLevelDomain) {
            HandleResponse(std::move(answer), end, false);
            FinishLookup();
            return;
        }
        const Text next = IanaReferral(DecodeResponse(answer));
        if (!next.empty() && !AlreadyAsked(next) && followUps_ < limits_.maxFollowUps) {
            ++followUps_;
            BeginExchange(next, ServerRole::IanaNamed);
            return;
        }
        // A server already asked has had its say; its failure is already on the list.
        if (next.empty()) {
            failures_.push_back(ServerFailure{exchange.server, FailureReason::NoServerNamed});
        }
        FailLookup();
        return;
    }

    // A registry's answer of next to nothing ("TLD is not supported.") gives way to RDAP,
    // when RDAP serves the query; it comes back if RDAP gives nothing either.
    if (exchange.role != ServerRole::Referral && kind_ == QueryKind::Domain &&
        answer.size() < kShortRegistryAnswer) {
        held_ = HeldAnswer{exchange, answer, end};
        if (StartRdap()) {
            return;
        }
        held_.reset();
    }

    if (exchange.role == ServerRole::IanaNamed && directoryFailed_ && routes_ != nullptr &&
        (kind_ == QueryKind::Domain || kind_ == QueryKind::TopLevelDomain)) {
        routes_->Remember(TopLevelLabel(), exchange.server);
    }
    HandleResponse(std::move(answer), end, limits_.followReferrals);
    if (!exchange_) {
        FinishLookup();
    }
}

void Lookup::FinishLookup()
{
    if (observer_ == nullptr) {
        return;
    }
    LookupOutcome outcome;
    outcome.answered = true;
    outcome.server = shownServer_;
    outcome.text = shownText_;
    outcome.answer = shownAnswer_;
    outcome.json = shownJson_;
    outcome.end = shownEnd_;
    outcome.failures = failures_;
    observer_->LookupFinished(outcome);
}

// No server answered: the result box says which servers were tried and why each failed, so
// the answer of an earlier query is never left on display under this one.
void Lookup::FailLookup()
{
    if (StartRdap()) {
        return;
    }
    state_.followUpPending = 0;
    state_.referralServer.clear();
    state_.resultText = FailureLines(failures_, rdapFailure_);
    shownAnswer_.clear();
    shownJson_.clear();
    shownServer_ = state_.currentServer;
    shownText_ = state_.resultText;
    boxes_.WriteServerBox(state_.currentServer);
    boxes_.WriteResultBox(state_.resultText);
    if (observer_ != nullptr) {
        LookupOutcome outcome;
        outcome.server = state_.currentServer;
        outcome.text = state_.resultText;
        outcome.failures = failures_;
        outcome.rdapFailure = rdapFailure_;
        outcome.rdapFailureEnglish = rdapFailureEnglish_;
        observer_->LookupFinished(outcome);
    }
}

bool Lookup::AlreadyAsked(const Text& server) const
{
    return std::any_of(askedServers_.begin(), askedServers_.end(),
                       [&server](const Text& asked) { return CompareTexts(asked, server) == 0; });
}

std::string Lookup::TopLevelLabel() const
{
    const std::size_t dot = request_.rfind('.');
    return dot == std::string::npos ? request_ : request_.substr(dot + 1);
}

} // namespace whois

namespace whois {

// Asks RDAP once per query command, for a domain, an IP address or an AS number. False when
// RDAP cannot be asked: then nothing was started.
bool Lookup::StartRdap()
{
    const bool servable =
        kind_ == QueryKind::Domain || kind_ == QueryKind::IpAddress || kind_ == QueryKind::AsNumber;
    if (rdapTried_ || rdap_ == nullptr || rdapData_ == nullptr || !limits_.useRdap || !servable) {
        return false;
    }
    const RdapRegistry registry = RegistryFor(kind_, request_);
    // Only a query that needs RDAP starts a refresh of its data, in the background.
    rdapData_->Refresh(registry);
    const auto done = [this](RdapResult result) { RdapFinished(std::move(result)); };
    if (!rdap_->Start(rdapData_->Directory(), kind_, request_, done)) {
        // A top-level domain the data does not know may be in the refreshed file: wait for
        // that briefly, then ask again or give up.
        if (kind_ != QueryKind::Domain || !rdapData_->Refreshing(registry) || refreshWaited_) {
            return false;
        }
        refreshWaited_ = true;
        const std::uint64_t generation = generation_;
        const auto retry = [this, generation] {
            if (generation != generation_ || !refreshWaitTimer_) {
                return;
            }
            loop_.CancelTimer(*refreshWaitTimer_);
            refreshWaitTimer_.reset();
            rdapInFlight_ = false;
            if (!StartRdap()) {
                RdapFinished(RdapResult{});
            }
        };
        refreshWaitTimer_ = loop_.StartTimer(limits_.rdapRefreshWait, retry);
        rdapData_->Refresh(registry, retry);
        rdapInFlight_ = true;
        return true;
    }
    rdapTried_ = true;
    rdapInFlight_ = true;
    rdapStartedAt_ = std::chrono::steady_clock::now();
    if (observer_ != nullptr) {
        observer_->ExchangeStarted(rdap_->Url(), ServerRole::Rdap);
    }
    return true;
}

void Lookup::RdapFinished(RdapResult result)
{
    rdapInFlight_ = false;
    // After a wait for the data that found no service, no RDAP server was asked.
    if (observer_ != nullptr && rdapTried_) {
        ExchangeReport report;
        report.server = result.host;
        report.role = ServerRole::Rdap;
        report.bytes = result.json.size();
        report.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - rdapStartedAt_);
        if (!result.answered) {
            report.failure = FailureReason::RdapFailed;
        }
        observer_->ExchangeEnded(report);
    }

    if (result.answered) {
        if (port43TooSlow_ && routes_ != nullptr) {
            routes_->Remember(TopLevelLabel(), kRdapRoute);
        }
        held_.reset();
        state_.currentServer = result.host;
        state_.referralServer.clear();
        state_.followUpPending = 0;
        state_.resultText = DecodeResponse(result.text);
        shownAnswer_ = std::move(result.text);
        shownJson_ = std::move(result.json);
        shownEnd_ = AnswerEnd::Closed;
        shownServer_ = state_.currentServer;
        shownText_ = state_.resultText;
        boxes_.WriteServerBox(state_.currentServer);
        boxes_.WriteResultBox(state_.resultText);
        FinishLookup();
        return;
    }

    rdapFailure_ = std::move(result.text);
    rdapFailureEnglish_ = std::move(result.english);
    if (rdapRemembered_) {
        // RDAP answered faster before; now it does not, so port 43 has its turn again.
        rdapRemembered_ = false;
        if (routes_ != nullptr) {
            routes_->Forget(TopLevelLabel());
        }
        StartPort43Route(std::nullopt);
        return;
    }
    if (held_) {
        HeldAnswer held = std::move(*held_);
        held_.reset();
        state_.currentServer = held.exchange.server;
        HandleResponse(std::move(held.answer), held.end, limits_.followReferrals, rdapFailure_);
        if (!exchange_) {
            FinishLookup();
        }
        return;
    }
    // The registry's server that was too slow gave way to RDAP; with RDAP failing too, the
    // port-43 route goes on as it would have after that server: IANA's server is asked.
    if (const std::optional<ServerRole> slow = std::exchange(slowRole_, std::nullopt);
        slow && *slow != ServerRole::IanaNamed && !AlreadyAsked(limits_.ianaServer)) {
        if (*slow == ServerRole::Remembered && routes_ != nullptr) {
            routes_->Forget(TopLevelLabel());
        }
        directoryFailed_ = true;
        BeginExchange(limits_.ianaServer, ServerRole::Iana);
        return;
    }
    FailLookup();
}

} // namespace whois
