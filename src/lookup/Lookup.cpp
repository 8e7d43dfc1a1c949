#include "lookup/Lookup.h"

#include "text/TextOperations.h"

#include <algorithm>

namespace whois {

Lookup::Lookup(LookupState& state, TcpClient& client, LookupBoxes& boxes, EventLoop& loop)
    : Lookup(state, client, boxes, loop, Limits{})
{
}

Lookup::Lookup(LookupState& state, TcpClient& client, LookupBoxes& boxes, EventLoop& loop,
               Limits limits)
    : state_(state), client_(client), boxes_(boxes), loop_(loop), limits_(limits)
{
    client_.DataArrived = [this] { OnDataArrived(); };
    client_.ConnectionClosed = [this](CloseKind) { OnConnectionClosed(); };
    client_.Connected = [this] {
        client_.SendData(request_);
        BeginExchange();
    };
}

Lookup::~Lookup()
{
    CancelIdleTimer();
    client_.DataArrived = nullptr;
    client_.ConnectionClosed = nullptr;
    client_.Connected = nullptr;
}

// Starts collecting the answer of the connection just made. A whois server ends its answer
// by closing the connection, and answers arrive in several pieces, so nothing is shown
// before the close, a pause or the size bound.
void Lookup::BeginExchange()
{
    answer_.clear();
    exchangeOpen_ = client_.IsConnected();
    if (exchangeOpen_) {
        RestartIdleTimer();
    } else {
        CancelIdleTimer();
    }
}

void Lookup::OnDataArrived()
{
    if (!exchangeOpen_) {
        return;
    }
    answer_ += client_.FetchData();
    if (answer_.size() >= limits_.maxAnswerBytes) {
        answer_.resize(limits_.maxAnswerBytes);
        FinishExchange();
        return;
    }
    RestartIdleTimer();
}

void Lookup::OnConnectionClosed()
{
    if (exchangeOpen_) {
        FinishExchange();
    }
}

void Lookup::RestartIdleTimer()
{
    CancelIdleTimer();
    idleTimer_ = loop_.StartTimer(limits_.idleTimeout, [this] {
        idleTimer_.reset();
        if (exchangeOpen_) {
            FinishExchange();
        }
    });
}

void Lookup::CancelIdleTimer()
{
    if (idleTimer_) {
        loop_.CancelTimer(*idleTimer_);
        idleTimer_.reset();
    }
}

void Lookup::FinishExchange()
{
    exchangeOpen_ = false;
    CancelIdleTimer();
    std::string answer;
    answer.swap(answer_);
    if (answer.empty()) {
        // A server that closed without a word changes nothing on the window.
        client_.Disconnect();
        return;
    }
    HandleResponse(std::move(answer));
}

bool Lookup::AlreadyAsked(const Text& server) const
{
    return std::any_of(askedServers_.begin(), askedServers_.end(),
                       [&server](const Text& asked) { return CompareTexts(asked, server) == 0; });
}

} // namespace whois
