#pragma once

#include "text/Text.h"

#include <cstdint>

namespace whois {

// The one record a lookup keeps between its handlers, for the whole run of the program.
// Every field owns its own copy of its text; an empty text also stands for an absent one.
struct LookupState {
    Text currentServer;               // the server the latest request went to
    Text previousServer;              // the server on display when the latest follow-up started
    Text referralServer;              // the server the latest answer named, or empty
    Text resultText;                  // the latest answer, decoded
    Text previousResultText;          // the answer on display when the latest follow-up started
    Text savedQueryText;              // the query box text when the latest follow-up was sent
    std::int32_t followUpPending = 0; // 1 while a referral follow-up is due
};

// Releases the six texts; the record is then as it was at start.
void ReleaseLookupState(LookupState& state);

} // namespace whois
