#include "lookup/Lookup.h"

#include "naming/ExtractDomain.h"
#include "naming/IdnaHostName.h"
#include "naming/WhoisQuery.h"
#include "naming/WhoisServerForDomain.h"
#include "text/TextOperations.h"

namespace whois {

void Lookup::RunQuery()
{
    const Text typed = TrimSpaces(boxes_.ReadQueryBox());
    const Text domain = ExtractDomain(typed, true, std::nullopt, 1);
    state_.currentServer = WhoisServerForDomain(domain);

    askedServers_.assign(1, state_.currentServer);
    followUps_ = 0;

    // Connect drops any earlier connection, so an answer still awaited is abandoned.
    request_ = WhoisRequestLine(boxes_.ReadQueryBox());
    client_.Connect(IdnaHostName(state_.currentServer).value_or(""), limits_.whoisPort);
    BeginExchange();
}

} // namespace whois
