#include "lookup/LookupState.h"

namespace whois {

void ReleaseLookupState(LookupState& state)
{
    for (Text* text : {&state.previousResultText, &state.resultText, &state.previousServer,
                       &state.currentServer, &state.referralServer, &state.savedQueryText}) {
        Text().swap(*text);
    }
    state.followUpPending = 0;
}

} // namespace whois
