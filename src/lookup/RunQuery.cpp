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
    typed_ = typed;

    // The request is made from the text as typed, with every letter; the server is named
    // from the code page 936 text, as it always was.
    request_ = WhoisQueryFromUtf8(boxes_.ReadQueryBoxUtf8());
    kind_ = KindOfQuery(request_);
    askedServers_.clear();
    failures_.clear();
    followUps_ = 0;
    directoryFailed_ = false;
    rdapTried_ = false;
    refreshWaited_ = false;
    rdapRemembered_ = false;
    port43TooSlow_ = false;
    slowRole_.reset();
    rdapFailure_.clear();
    rdapFailureEnglish_.clear();

    if (observer_ != nullptr) {
        observer_->LookupStarted(request_);
    }
    if (limits_.rdapOnly) {
        if (!StartRdap()) {
            failures_.push_back(ServerFailure{"RDAP", FailureReason::NoRdapService});
            FailLookup();
        }
        return;
    }
    // One read of the routes serves both the RDAP-first choice and the port-43 route.
    const std::optional<std::string> remembered =
        (routes_ != nullptr && limits_.firstServer.empty() &&
         (kind_ == QueryKind::Domain || kind_ == QueryKind::TopLevelDomain))
            ? routes_->ServerFor(TopLevelLabel())
            : std::nullopt;
    if (kind_ == QueryKind::Domain && remembered == std::optional<std::string>(kRdapRoute)) {
        rdapRemembered_ = true;
        if (StartRdap()) {
            return;
        }
        rdapRemembered_ = false;
    }
    StartPort43Route(remembered);
}

// The first port-43 server: the one the user chose, `remembered` (the one that answered for
// the top-level domain before), or the directory's.
void Lookup::StartPort43Route(const std::optional<std::string>& remembered)
{
    ServerRole role = ServerRole::Named;
    if (!limits_.firstServer.empty()) {
        state_.currentServer = limits_.firstServer;
        role = ServerRole::Given;
    } else if (remembered && *remembered != kRdapRoute) {
        state_.currentServer = *remembered;
        role = ServerRole::Remembered;
    } else {
        const Text domain = ExtractDomain(typed_, true, std::nullopt, 1);
        state_.currentServer = WhoisServerForDomain(domain);
    }
    BeginExchange(state_.currentServer, role);
}

} // namespace whois
