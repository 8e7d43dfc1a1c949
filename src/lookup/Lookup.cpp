#include "lookup/Lookup.h"

#include "encoding/DecodeResponse.h"
#include "lookup/NextWhoisServer.h"
#include "naming/IdnaHostName.h"
#include "text/TextOperations.h"

#include <algorithm>

namespace whois {

Lookup::Lookup(LookupState& state, TcpClient& client, LookupBoxes& boxes, EventLoop& loop,
               Limits limits, RouteCache* routes, LookupObserver* observer)
    : state_(state), client_(client), boxes_(boxes), loop_(loop), limits_(std::move(limits)),
      routes_(routes), observer_(observer)
{
    client_.Connected = [this] { OnConnected(); };
    client_.ConnectFailed = [this](ConnectFailure failure) { OnConnectFailed(failure); };
    client_.DataArrived = [this] { OnDataArrived(); };
    client_.ConnectionClosed = [this](CloseKind kind) { OnConnectionClosed(kind); };
}

Lookup::~Lookup()
{
    CancelTimers();
    client_.Connected = nullptr;
    client_.ConnectFailed = nullptr;
    client_.DataArrived = nullptr;
    client_.ConnectionClosed = nullptr;
}

void Lookup::Abandon()
{
    CancelTimers();
    exchange_.reset();
    client_.Disconnect();
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
    client_.Connect(IdnaHostName(server).value_or(std::string()), limits_.whoisPort);
}

void Lookup::OnConnected()
{
    if (!exchange_) {
        return;
    }
    exchange_->connected = true;
    client_.SendData(request_ + "\r\n");
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
    answer += client_.FetchData();
    if (answer.size() >= limits_.maxAnswerBytes) {
        answer.resize(limits_.maxAnswerBytes);
        FinishExchange(AnswerEnd::SizeCap);
        return;
    }
    RestartIdleTimer();
}

void Lookup::OnConnectionClosed(CloseKind kind)
{
    FinishExchange(kind == CloseKind::Reset ? AnswerEnd::Reset : AnswerEnd::Closed);
}

void Lookup::RestartIdleTimer()
{
    if (idleTimer_) {
        loop_.CancelTimer(*idleTimer_);
    }
    idleTimer_ = loop_.StartTimer(limits_.idleTimeout, [this] {
        idleTimer_.reset();
        FinishExchange(AnswerEnd::Silence);
    });
}

void Lookup::CancelTimers()
{
    for (std::optional<EventLoop::TimerId>* timer : {&idleTimer_, &deadlineTimer_}) {
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
    outcome.end = shownEnd_;
    outcome.failures = failures_;
    observer_->LookupFinished(outcome);
}

// No server answered: the result box says which servers were tried and why each failed, so
// the answer of an earlier query is never left on display under this one.
void Lookup::FailLookup()
{
    state_.followUpPending = 0;
    state_.referralServer.clear();
    state_.resultText = FailureLines(failures_);
    shownAnswer_.clear();
    shownServer_ = state_.currentServer;
    shownText_ = state_.resultText;
    boxes_.WriteServerBox(state_.currentServer);
    boxes_.WriteResultBox(state_.resultText);
    if (observer_ != nullptr) {
        LookupOutcome outcome;
        outcome.server = state_.currentServer;
        outcome.text = state_.resultText;
        outcome.failures = failures_;
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
