#pragma once

namespace whois::app {

// Runs the program: start-up, the message loop until the window is closed, and shutdown.
// Returns the process's exit code.
int RunProgram(int& argc, char** argv);

} // namespace whois::app
