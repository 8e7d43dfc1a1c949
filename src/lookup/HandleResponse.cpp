#include "lookup/Lookup.h"

#include "encoding/DecodeResponse.h"
#include "lookup/FindReferralServer.h"
#include "text/TextOperations.h"

namespace whois {
namespace {

constexpr Position kReferralLengthLimit = 5;
constexpr Position kShortAnswerLimit = 100;
constexpr Position kSubstantialAnswerLimit = 100;

} // namespace

void Lookup::HandleResponse(std::string answer)
{
    state_.resultText = DecodeResponse(answer);
    state_.referralServer = FindReferralServer(state_.resultText);

    const bool followUpDue = TextLength(state_.referralServer) > kReferralLengthLimit &&
                             CompareTexts(state_.referralServer, state_.currentServer) != 0 &&
                             !AlreadyAsked(state_.referralServer) &&
                             followUps_ < limits_.maxFollowUps;
    state_.followUpPending = followUpDue ? 1 : 0;

    client_.Disconnect();
    boxes_.WriteServerBox(state_.currentServer);
    // Runs StartFollowUp before it returns, which sends the follow-up when one is due.
    boxes_.WriteResultBox(state_.resultText);

    // An almost empty answer from a referred server gives way to the substantial answer
    // shown before the follow-up, as long as the query is still the same.
    if (TextLength(state_.resultText) < kShortAnswerLimit &&
        TextLength(state_.previousResultText) > kSubstantialAnswerLimit &&
        CompareTexts(boxes_.ReadQueryBox(), state_.savedQueryText) == 0) {
        boxes_.WriteResultBox(state_.previousResultText);
        boxes_.WriteServerBox(state_.previousServer);
    }
}

} // namespace whois
