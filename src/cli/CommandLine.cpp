#include "CommandLine.h"

#include <charconv>

namespace whois::cli {
namespace {

std::optional<int> ParsePort(const std::string& text)
{
    int port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (error != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

} // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine line;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            line.queries.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help") {
            line.help = true;
        } else if (argument == "--version") {
            line.version = true;
        } else if (argument == "--verbose" || argument == "-v") {
            line.verbose = true;
        } else if (argument == "--no-follow") {
            line.follow = false;
        } else if (argument == "--no-rdap") {
            line.rdap = false;
        } else if (argument == "--rdap") {
            line.rdapOnly = true;
        } else if (argument == "--json") {
            line.json = true;
        } else if (argument == "-h" || argument == "--host" || argument == "-p" ||
                   argument == "--port" || argument == "--iana-server" || argument == "--ca-file") {
            if (i + 1 >= arguments.size()) {
                return {std::nullopt, "option " + argument + " needs a value"};
            }
            const std::string& value = arguments[++i];
            if (argument == "--ca-file") {
                if (value.empty()) {
                    return {std::nullopt, "option " + argument + " needs a file"};
                }
                line.caFile = value;
            } else if (argument == "-h" || argument == "--host" || argument == "--iana-server") {
                if (value.empty()) {
                    return {std::nullopt, "option " + argument + " needs a host name"};
                }
                (argument == "--iana-server" ? line.ianaServer : line.host) = value;
            } else if (const auto port = ParsePort(value)) {
                line.port = *port;
            } else {
                return {std::nullopt, "bad port '" + value + "': give a number from 1 to 65535"};
            }
        } else {
            return {std::nullopt, "unknown option '" + argument + "'"};
        }
    }
    if (line.rdapOnly && !line.rdap) {
        return {std::nullopt, "--rdap and --no-rdap contradict each other"};
    }
    if (!line.help && !line.version && line.queries.empty()) {
        return {std::nullopt, "no query given"};
    }
    for (const std::string& query : line.queries) {
        if (query.find_first_not_of(" \t") == std::string::npos) {
            return {std::nullopt, "an empty query was given"};
        }
    }
    return {line, {}};
}

std::string UsageText()
{
    return "Usage: whois-lookup [options] QUERY...\n"
           "Looks up each QUERY (a domain, host name, web address, IP address or AS number)\n"
           "the way the whois-desktop window does and prints the final answer: over port 43,\n"
           "through IANA's server when the directory has none, and over RDAP where port 43\n"
           "gives nothing.\n"
           "\n"
           "Options:\n"
           "  -h, --host HOST   ask HOST first instead of the directory's server\n"
           "  -p, --port PORT   the port of every whois server asked (default 43)\n"
           "      --no-follow   print the first answer; follow no referral\n"
           "      --rdap        ask RDAP only (HTTPS), not port 43\n"
           "      --no-rdap     ask port 43 only, never RDAP\n"
           "      --json        print an RDAP answer's JSON as received\n"
           "      --ca-file FILE\n"
           "                    trust the authorities in FILE instead of the system's\n"
           "      --iana-server HOST\n"
           "                    ask HOST instead of whois.iana.org when the first server\n"
           "                    cannot be used\n"
           "  -v, --verbose     print each step (server, bytes, time, how it ended) on\n"
           "                    standard error\n"
           "      --help        print this help and exit\n"
           "      --version     print the version and exit\n"
           "\n"
           "Exit status: 0 when every query got an answer, 1 when one got none, 2 for bad\n"
           "usage.\n";
}

} // namespace whois::cli
