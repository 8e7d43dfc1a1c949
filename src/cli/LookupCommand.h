#pragma once

#include "CommandLine.h"
#include "Output.h"

namespace whois::cli {

// Runs every query of `line` one after another as the window would, writing each final
// answer, as the server sent it, to `out` (a blank line between answers) and reasons and
// progress to `err`. Returns the exit status: 0 when every query got an answer, else 1.
int RunLookups(const CommandLine& line, Output& out, Output& err);

} // namespace whois::cli
