#include "CommandLine.h"
#include "LookupCommand.h"

#include <iostream>

namespace {

constexpr int kUsageError = 2;

} // namespace

int main(int argc, char* argv[])
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const whois::cli::ParsedCommandLine parsed = whois::cli::ParseCommandLine(arguments);
    if (!parsed.commandLine) {
        std::cerr << "whois-lookup: " << parsed.error << "\n"
                  << "Try 'whois-lookup --help' for more.\n";
        return kUsageError;
    }
    const whois::cli::CommandLine& line = *parsed.commandLine;
    if (line.help) {
        std::cout << whois::cli::UsageText();
        return 0;
    }
    if (line.version) {
        std::cout << "whois-lookup " << WHOIS_VERSION << "\n";
        return 0;
    }
    return whois::cli::RunLookups(line, std::cout, std::cerr);
}
