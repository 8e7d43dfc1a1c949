#pragma once

#include <functional>

namespace whois::app {

class MainWindow;

// Runs the program: start-up, the message loop until the window is closed, and shutdown.
// Returns the process's exit code. `onShown`, when given, runs once the window is shown
// (tests drive the real start-up with it).
int RunProgram(int& argc, char** argv, const std::function<void(MainWindow&)>& onShown = {});

} // namespace whois::app
