#pragma once

#include <optional>
#include <string>
#include <vector>

namespace whois::cli {

// What the command line asks for.
struct CommandLine {
    std::vector<std::string> queries;
    std::string host;                          // -h: asked first
    int port = 43;                             // -p
    std::string ianaServer = "whois.iana.org"; // --iana-server
    bool follow = true;
    bool rdap = true;      // --no-rdap: port 43 only
    bool rdapOnly = false; // --rdap
    bool json = false;     // --json: the RDAP answer's JSON as received
    std::string caFile;    // --ca-file: trusted authorities instead of the system's
    bool verbose = false;
    bool help = false;
    bool version = false;
};

// The options and queries of `arguments` (without the program's name), or a message saying
// what is wrong with them.
struct ParsedCommandLine {
    std::optional<CommandLine> commandLine;
    std::string error;
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The text --help prints.
std::string UsageText();

} // namespace whois::cli
