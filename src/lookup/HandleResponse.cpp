#include "lookup/Lookup.h"

#include "encoding/DecodeResponse.h"
#include "lookup/NextWhoisServer.h"
#include "text/TextOperations.h"

namespace whois {
namespace {

constexpr Position kReferralLengthLimit = 5;
constexpr Position kShortAnswerLimit = 100;
constexpr Position kSubstantialAnswerLimit = 100;

// The answer followed by a line saying it was cut short, when it was.
Text WithEndNote(Text text, AnswerEnd end)
{
    const std::string note = DescribeCutShort(end);
    if (note.empty()) {
        return text;
    }
    if (!text.empty() && text.back() != '\n') {
        text += '\n';
    }
    return text + DecodeResponse(note) + "\n";
}

} // namespace

void Lookup::HandleResponse(std::string answer, AnswerEnd end, bool followReferrals,
                            const std::string& trailer)
{
    const Text decoded = DecodeResponse(answer);
    state_.referralServer = followReferrals ? NextWhoisServer(decoded, false) : Text();
    state_.resultText = WithEndNote(decoded, end);
    if (!trailer.empty()) {
        if (!state_.resultText.empty() && state_.resultText.back() != '\n') {
            state_.resultText += '\n';
        }
        state_.resultText += DecodeResponse(trailer);
    }

    const bool followUpDue = TextLength(state_.referralServer) > kReferralLengthLimit &&
                             CompareTexts(state_.referralServer, state_.currentServer) != 0 &&
                             !AlreadyAsked(state_.referralServer) &&
                             followUps_ < limits_.maxFollowUps;
    state_.followUpPending = followUpDue ? 1 : 0;

    client_.Disconnect();
    shownAnswer_ = std::move(answer);
    shownEnd_ = end;
    shownServer_ = state_.currentServer;
    shownText_ = state_.resultText;
    // Writing the result runs StartFollowUp before it returns, which sends the follow-up when
    // one is due; the server box is written after it, so the follow-up does not wait for it.
    // Both boxes are written before control goes back to the event loop.
    boxes_.WriteResultBox(state_.resultText);
    boxes_.WriteServerBox(shownServer_);

    // An almost empty answer from a referred server gives way to the substantial answer
    // shown before the follow-up, as long as the query is still the same.
    if (TextLength(state_.resultText) < kShortAnswerLimit &&
        TextLength(state_.previousResultText) > kSubstantialAnswerLimit &&
        CompareTexts(boxes_.ReadQueryBox(), state_.savedQueryText) == 0) {
        shownAnswer_ = previousAnswer_;
        shownEnd_ = previousEnd_;
        shownServer_ = state_.previousServer;
        shownText_ = state_.previousResultText;
        boxes_.WriteResultBox(state_.previousResultText);
        boxes_.WriteServerBox(state_.previousServer);
    }
}

} // namespace whois
