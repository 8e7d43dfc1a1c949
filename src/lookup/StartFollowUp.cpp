#include "lookup/Lookup.h"

namespace whois {

void Lookup::StartFollowUp()
{
    if (state_.followUpPending != 1) {
        return;
    }
    state_.previousResultText = state_.resultText;
    state_.previousServer = state_.currentServer;
    previousAnswer_ = shownAnswer_;
    previousEnd_ = shownEnd_;

    // The request of the query command that started the lookup, whatever the box holds now.
    ++followUps_;
    BeginExchange(state_.referralServer, ServerRole::Referral);
    state_.followUpPending = 0;
    state_.currentServer = state_.referralServer;
    state_.savedQueryText = boxes_.ReadQueryBox();
}

} // namespace whois
