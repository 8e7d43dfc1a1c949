// The answer handling's two steps on one answer: decoding the received bytes, then searching
// the text for the referral server. On the recorded answers and on large synthetic ones.
#include "encoding/DecodeResponse.h"
#include "lookup/FindReferralServer.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using namespace whois;

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Registry-style lines in UTF-8, ASCII mixed with Chinese, repeated to `size` bytes, with the
// referral line last.
std::string SyntheticAnswer(std::size_t size)
{
    const std::string lines[] = {
        "Domain Name: EXAMPLE.CN\r\n",
        "Registrant: \xE4\xB8\xAD\xE5\x9B\xBD\xE4\xBA\x92\xE8\x81\x94\xE7\xBD\x91\xE7\xBB\x9C"
        "\xE4\xBF\xA1\xE6\x81\xAF\xE4\xB8\xAD\xE5\xBF\x83\r\n",
        "Registrant Contact Email: whois@example.cn\r\n",
        "Name Server: ns1.example.cn\r\n",
        "\xE6\xB3\xA8\xE5\x86\x8C\xE5\x95\x86: Example Registrar, Inc. "
        "\xE5\x8C\x97\xE4\xBA\xAC\xE5\xB8\x82\r\n",
        "Updated Date: 2024-01-01T00:00:00Z\r\n",
    };
    const std::string referral = "Registrar WHOIS Server: whois.example-registrar.test\r\n";
    std::string answer;
    answer.reserve(size);
    for (std::size_t i = 0; answer.size() + referral.size() < size; ++i) {
        answer += lines[i % std::size(lines)];
    }
    answer += referral;
    return answer;
}

void Handle(benchmark::State& state, const std::string& answer)
{
    for (auto _ : state) {
        const Text text = DecodeResponse(answer);
        Text server = FindReferralServer(text);
        benchmark::DoNotOptimize(server);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(answer.size()));
}

void RecordedAnswers(benchmark::State& state)
{
    std::vector<std::string> answers;
    std::size_t bytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(WHOIS_SAMPLES_DIR)) {
        if (entry.path().extension() == ".txt") {
            answers.push_back(ReadFile(entry.path()));
            bytes += answers.back().size();
        }
    }
    for (auto _ : state) {
        for (const std::string& answer : answers) {
            Text server = FindReferralServer(DecodeResponse(answer));
            benchmark::DoNotOptimize(server);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes));
    state.counters["answers"] = static_cast<double>(answers.size());
}

void SyntheticAnswers(benchmark::State& state)
{
    const std::string answer = SyntheticAnswer(static_cast<std::size_t>(state.range(0)));
    if (FindReferralServer(DecodeResponse(answer)) != "whois.example-registrar.test") {
        state.SkipWithError("the referral was not found");
        return;
    }
    Handle(state, answer);
    state.SetComplexityN(state.range(0));
}

BENCHMARK(RecordedAnswers)->Unit(benchmark::kMicrosecond);
BENCHMARK(SyntheticAnswers)
    ->Arg(64 << 10)
    ->Arg(1 << 20)
    ->Arg(4 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace

BENCHMARK_MAIN();
