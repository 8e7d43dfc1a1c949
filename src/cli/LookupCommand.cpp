#include "LookupCommand.h"

#include "encoding/CodePageConversion.h"
#include "lookup/LookupSession.h"
#include "net/PollEventLoop.h"
#include "net/SystemResolver.h"
#include "text/TextOperations.h"

#include <chrono>
#include <string_view>

namespace whois::cli {
namespace {

// Far beyond the longest route a lookup can take (six servers, each bounded).
constexpr auto kLookupBound = std::chrono::minutes(10);

std::string Utf8(std::string_view cp936)
{
    return Utf16ToMultiByte(MultiByteToUtf16(cp936, CodePage::Cp936), CodePage::Utf8);
}

const char* DescribeRole(ServerRole role)
{
    switch (role) {
    case ServerRole::Named:
        return "the directory's server";
    case ServerRole::Remembered:
        return "the server that answered before";
    case ServerRole::Given:
        return "the server given";
    case ServerRole::Iana:
        return "IANA, as the first server could not be used";
    case ServerRole::IanaNamed:
        return "the server IANA names";
    case ServerRole::Referral:
        return "a referral";
    case ServerRole::Rdap:
        return "RDAP";
    }
    return "";
}

const char* DescribeFailureInEnglish(FailureReason reason)
{
    switch (reason) {
    case FailureReason::InvalidName:
        return "not a server name";
    case FailureReason::NameNotFound:
        return "name not found";
    case FailureReason::NoAddress:
        return "the name has no address";
    case FailureReason::ResolverFailed:
        return "name lookup failed (no name server answered)";
    case FailureReason::Refused:
        return "connection refused";
    case FailureReason::Unreachable:
        return "network unreachable";
    case FailureReason::ConnectTimedOut:
        return "no connection within 10 s";
    case FailureReason::ConnectReset:
        return "connection reset";
    case FailureReason::ClosedWithoutAnswer:
        return "closed without an answer";
    case FailureReason::ResetWithoutAnswer:
        return "connection reset without an answer";
    case FailureReason::SilentWithoutAnswer:
        return "no answer";
    case FailureReason::NoServerNamed:
        return "IANA names no whois server for this query";
    case FailureReason::ConnectTooSlow:
        return "no connection within 3 s; asking RDAP instead";
    case FailureReason::NoRdapService:
        return "no RDAP server serves this query";
    case FailureReason::RdapFailed:
        return "no RDAP record";
    }
    return "";
}

const char* DescribeEnd(AnswerEnd end)
{
    switch (end) {
    case AnswerEnd::Closed:
        return "closed by the server";
    case AnswerEnd::Silence:
        return "cut short: 10 s of silence";
    case AnswerEnd::SizeCap:
        return "cut short: the 4 MiB limit";
    case AnswerEnd::Deadline:
        return "cut short: the 60 s limit";
    case AnswerEnd::Reset:
        return "cut short: connection reset";
    }
    return "";
}

// The boxes of a window that is not there: the query as given, the answers kept. Writing
// the result raises the content-changed event as the window's box does.
class HeadlessBoxes : public LookupBoxes {
  public:
    std::string query; // UTF-8
    LookupSession* session = nullptr;

    Text ReadQueryBox() const override
    {
        return Utf16ToMultiByte(MultiByteToUtf16(query, CodePage::Utf8), CodePage::Cp936);
    }
    std::string ReadQueryBoxUtf8() const override { return query; }
    void WriteServerBox(const Text&) override {}
    void WriteResultBox(const Text&) override
    {
        if (session != nullptr) {
            session->StartFollowUp();
        }
    }
};

class Reporter : public LookupObserver {
  public:
    Reporter(Output& err, bool verbose) : err_(err), verbose_(verbose) {}

    std::optional<LookupOutcome> outcome;

    void LookupStarted(const std::string& request) override
    {
        outcome.reset();
        if (verbose_) {
            err_ << "whois-lookup: request \"" << request << "\"\n";
            err_.Flush();
        }
    }
    void ExchangeStarted(const Text& server, ServerRole role) override
    {
        if (verbose_) {
            err_ << "whois-lookup: asking " << Utf8(server) << " (" << DescribeRole(role) << ")\n";
            err_.Flush();
        }
    }
    void ExchangeEnded(const ExchangeReport& report) override
    {
        if (!verbose_) {
            return;
        }
        err_ << "whois-lookup: " << Utf8(report.server);
        if (!report.peerAddress.empty()) {
            err_ << " [" << report.peerAddress << "]";
        }
        if (report.failure) {
            err_ << ": " << DescribeFailureInEnglish(*report.failure);
        } else {
            err_ << ": " << report.bytes << " bytes, " << DescribeEnd(report.end);
        }
        err_ << ", " << report.elapsed.count() << " ms\n";
        err_.Flush();
    }
    void LookupFinished(const LookupOutcome& finished) override { outcome = finished; }

  private:
    Output& err_;
    bool verbose_;
};

} // namespace

int RunLookups(const CommandLine& line, Output& out, Output& err)
{
    PollEventLoop loop;
    SystemResolver resolver(loop);
    // A worker starts while the lookup is set up, ready for the first server's name.
    resolver.PrepareWorker();
    LookupState state;
    HeadlessBoxes boxes;
    Reporter reporter(err, line.verbose);

    LookupSession::Options options = LookupSession::ProgramOptions("whois-lookup");
    options.limits.whoisPort = line.port;
    options.limits.firstServer = line.host;
    options.limits.ianaServer = line.ianaServer;
    options.limits.useRdap = line.rdap;
    options.limits.rdapOnly = line.rdapOnly;
    options.rdap.caFile = line.caFile;
    options.limits.followReferrals = line.follow;
    LookupSession session(loop, resolver, state, boxes, &reporter, options);
    boxes.session = &session;

    int status = 0;
    bool first = true;
    for (const std::string& query : line.queries) {
        boxes.query = query;
        reporter.outcome.reset();
        session.RunQuery();
        loop.RunUntil([&] { return reporter.outcome.has_value(); }, kLookupBound);
        if (&query == &line.queries.back()) {
            // No name is needed any more: the workers end while the answer is written out,
            // rather than be stopped as the command exits.
            resolver.DismissIdleWorkers();
        }
        if (!reporter.outcome || !reporter.outcome->answered) {
            err << "whois-lookup: no answer for \"" << query << "\"\n";
            if (reporter.outcome) {
                for (const ServerFailure& failure : reporter.outcome->failures) {
                    err << "whois-lookup: " << Utf8(failure.server) << ": "
                        << DescribeFailureInEnglish(failure.reason) << "\n";
                }
                for (const Text& rdapLine : SplitText(reporter.outcome->rdapFailureEnglish, "\n")) {
                    err << "whois-lookup: " << rdapLine << "\n";
                }
            }
            status = 1;
            err.Flush();
            continue;
        }
        const LookupOutcome& outcome = *reporter.outcome;
        if (!first) {
            out << "\n";
        }
        first = false;
        const std::string& printed =
            line.json && !outcome.json.empty() ? outcome.json : outcome.answer;
        out << printed;
        if (!printed.empty() && printed.back() != '\n') {
            out << "\n";
        }
        out.Flush();
        if (outcome.end != AnswerEnd::Closed) {
            err << "whois-lookup: the answer from " << Utf8(outcome.server) << " was "
                << DescribeEnd(outcome.end) << "\n";
            err.Flush();
        }
    }
    return status;
}

} // namespace whois::cli
