#pragma once

#include <functional>
#include <memory>

namespace whois {
struct LookupState;
}

namespace whois::app {

class MainWindow;

// Parts of the real start-up that a test may replace.
struct ProgramHooks {
    // Builds the window in place of the real one (a test gives it its resolver and port). An
    // exception it throws ends start-up with the fatal error box, as a real failure would.
    std::function<std::unique_ptr<MainWindow>(LookupState&)> makeWindow;
    // Runs once the window is shown.
    std::function<void(MainWindow&)> onShown;
};

// Runs the program: start-up, the message loop until the window is closed, and shutdown.
// Returns the process's exit code. `onShown`, when given, runs once the window is shown
// (tests drive the real start-up with it).
int RunProgram(int& argc, char** argv, const std::function<void(MainWindow&)>& onShown = {});
int RunProgram(int& argc, char** argv, const ProgramHooks& hooks);

} // namespace whois::app
