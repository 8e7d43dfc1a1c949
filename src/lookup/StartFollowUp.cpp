#include "lookup/Lookup.h"

#include "naming/IdnaHostName.h"
#include "naming/WhoisQuery.h"

namespace whois {

void Lookup::StartFollowUp()
{
    if (state_.followUpPending != 1) {
        return;
    }
    state_.previousResultText = state_.resultText;
    state_.previousServer = state_.currentServer;

    request_ = WhoisRequestLine(boxes_.ReadQueryBox());
    client_.Connect(IdnaHostName(state_.referralServer).value_or(""), limits_.whoisPort);
    state_.followUpPending = 0;
    state_.currentServer = state_.referralServer;
    state_.savedQueryText = boxes_.ReadQueryBox();

    askedServers_.push_back(state_.currentServer);
    ++followUps_;
    BeginExchange();
}

} // namespace whois
