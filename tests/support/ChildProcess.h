#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace whois::test {

// What a finished child process left behind.
struct ChildResult {
    int exitStatus = -1; // -1 when it did not exit normally or in time
    std::string out;
    std::string err;
};

// Runs `argv` with `environment` added to this process's environment, no standard input,
// and its standard output and error captured; kills it after `timeout`.
ChildResult RunChild(const std::vector<std::string>& argv,
                     const std::vector<std::string>& environment = {},
                     std::chrono::milliseconds timeout = std::chrono::seconds{30});

} // namespace whois::test
