#include "lookup/Lookup.h"

#include "naming/ExtractDomain.h"
#include "naming/WhoisServerForDomain.h"
#include "text/TextOperations.h"

namespace whois {

void Lookup::RunQuery()
{
    const Text typed = TrimSpaces(boxes_.ReadQueryBox());
    if (typed.empty()) {
        return;
    }
    Abandon();

    // The request is made from the text as typed, with every letter; the server is named
    // from the code page 936 text, as it always was.
    request_ = WhoisQueryFromUtf8(boxes_.ReadQueryBoxUtf8());
    kind_ = KindOfQuery(request_);
    askedServers_.clear();
    failures_.clear();
    followUps_ = 0;
    directoryFailed_ = false;

    ServerRole role = ServerRole::Named;
    if (!limits_.firstServer.empty()) {
        state_.currentServer = limits_.firstServer;
        role = ServerRole::Given;
    } else if (const auto remembered = (routes_ != nullptr && (kind_ == QueryKind::Domain ||
                                                               kind_ == QueryKind::TopLevelDomain))
                                           ? routes_->ServerFor(TopLevelLabel())
                                           : std::nullopt) {
        state_.currentServer = *remembered;
        role = ServerRole::Remembered;
    } else {
        const Text domain = ExtractDomain(typed, true, std::nullopt, 1);
        state_.currentServer = WhoisServerForDomain(domain);
    }

    if (observer_ != nullptr) {
        observer_->LookupStarted(request_);
    }
    BeginExchange(state_.currentServer, role);
}

} // namespace whois
