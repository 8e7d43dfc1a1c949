#include "CommandLine.h"
#include "LookupCommand.h"
#include "Output.h"

#include <unistd.h>

namespace {

constexpr int kUsageError = 2;

} // namespace

int main(int argc, char* argv[])
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    whois::cli::Output out(STDOUT_FILENO);
    whois::cli::Output err(STDERR_FILENO);
    const whois::cli::ParsedCommandLine parsed = whois::cli::ParseCommandLine(arguments);
    if (!parsed.commandLine) {
        err << "whois-lookup: " << parsed.error << "\n"
            << "Try 'whois-lookup --help' for more.\n";
        return kUsageError;
    }
    const whois::cli::CommandLine& line = *parsed.commandLine;
    if (line.help) {
        out << whois::cli::UsageText();
        return 0;
    }
    if (line.version) {
        out << "whois-lookup " << WHOIS_VERSION << "\n";
        return 0;
    }
    return whois::cli::RunLookups(line, out, err);
}
