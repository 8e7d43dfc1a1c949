// A domain whose registry's port-43 server drops connection attempts, while its RDAP server
// answers: the time from the query command to the RDAP record on display, and for the next
// lookup, which remembers to go to RDAP first. Everything runs on loopback.
#include "lookup/LookupSession.h"
#include "net/PollEventLoop.h"
#include "rdap/RdapBootstrap.h"
#include "support/FullBacklogListener.h"
#include "support/LoopbackHttpsServer.h"
#include "support/MapResolver.h"
#include "support/TestCertificateAuthority.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>

namespace whois {
namespace {

using Clock = std::chrono::steady_clock;

class HeadlessBoxes : public LookupBoxes {
  public:
    Text query = "example.test";
    LookupSession* session = nullptr;
    Text ReadQueryBox() const override { return query; }
    void WriteServerBox(const Text&) override {}
    void WriteResultBox(const Text&) override
    {
        if (session != nullptr) {
            session->StartFollowUp();
        }
    }
};

class Finish : public LookupObserver {
  public:
    std::optional<LookupOutcome> outcome;
    void LookupFinished(const LookupOutcome& finished) override { outcome = finished; }
};

std::string Bootstrap(const std::string& base)
{
    return R"({"version": "1.0", "publication": "2099-01-01T00:00:00Z", "services": [[["test"], [")" +
           base + R"("]]]})";
}

const std::string kRecord = R"({"objectClassName": "domain", "ldhName": "example.test",
    "status": ["active"], "nameservers": [{"objectClassName": "nameserver",
    "ldhName": "ns1.example.test"}]})";

// One lookup from the query command to the record on display, in seconds; or a failure.
double Lookup(LookupSession& session, PollEventLoop& loop, Finish& finish)
{
    finish.outcome.reset();
    const auto started = Clock::now();
    session.RunQuery();
    loop.RunUntil([&] { return finish.outcome.has_value(); }, std::chrono::seconds{30});
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    return finish.outcome && finish.outcome->answered && !finish.outcome->json.empty() ? seconds
                                                                                       : -1;
}

void BM_Port43DropsConnectionsRdapAnswers(benchmark::State& state)
{
    test::FullBacklogListener hanging;
    test::TestCertificateAuthority authority;
    test::LoopbackHttpsServer rdap(authority.Issue({"127.0.0.1"}), std::chrono::seconds{600});
    if (!hanging.Full() || !rdap.Listening()) {
        state.SkipWithError("no hanging listener or no HTTPS server");
        return;
    }
    rdap.Serve("/rdap/domain/example.test", test::Respond(200, kRecord));
    const std::string routes =
        (std::filesystem::temp_directory_path() / "whois-rdap-bench-routes.tsv").string();

    double rememberedTotal = 0;
    for (auto _ : state) {
        std::filesystem::remove(routes);
        PollEventLoop loop;
        test::MapResolver resolver;
        resolver.Add("test.whois-servers.net", "127.0.0.1");
        LookupState lookupState;
        HeadlessBoxes boxes;
        Finish finish;
        LookupSession::Options options = LookupSession::ProgramOptions("whois-desktop");
        options.limits.whoisPort = hanging.Port();
        options.routeCacheFile = routes;
        options.rdap.caFile = authority.CaFile();
        RdapDirectory directory(std::span<const RdapOverride>{});
        directory.Replace(*RdapBootstrap::Parse(RdapRegistry::Domain,
                                                Bootstrap(rdap.Url("/rdap/", "127.0.0.1"))));
        options.rdapDirectory = std::move(directory);
        LookupSession session(loop, resolver, lookupState, boxes, &finish, std::move(options));
        boxes.session = &session;

        const double first = Lookup(session, loop, finish);
        const double remembered = Lookup(session, loop, finish);
        if (first < 0 || remembered < 0) {
            state.SkipWithError("the RDAP record was not shown");
            return;
        }
        state.SetIterationTime(first);
        rememberedTotal += remembered;
    }
    std::filesystem::remove(routes);
    state.counters["remembered_ms"] =
        benchmark::Counter(rememberedTotal * 1000, benchmark::Counter::kAvgIterations);
}

BENCHMARK(BM_Port43DropsConnectionsRdapAnswers)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace
} // namespace whois

BENCHMARK_MAIN();
