// Rendering an RDAP answer as whois-style text: the recorded Verisign answer, and that answer
// grown to about 1 MiB with thousands of name servers, contacts and remarks.
#include "rdap/RdapLinks.h"
#include "rdap/RdapText.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using namespace whois;

constexpr std::string_view kUrl = "https://rdap.verisign.com/com/v1/domain/google.com";

std::string RecordedAnswer()
{
    std::ifstream in(std::filesystem::path(WHOIS_RDAP_SAMPLES_DIR) /
                         "rdap.verisign.com__domain_google.com.json",
                     std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Inserts `items` (each ending with a comma) at the start of the first list named `name`.
void PrependToList(std::string& answer, std::string_view name, const std::string& items)
{
    std::string list = "\"";
    list += name;
    list += "\":[";
    answer.insert(answer.find(list) + list.size(), items);
}

// The recorded answer with name servers, contacts and remarks added until it holds at least
// `size` bytes.
std::string GrownAnswer(std::size_t size)
{
    std::string answer = RecordedAnswer();
    std::string nameservers;
    std::string entities;
    std::string remarks;
    for (std::size_t i = 0;
         answer.size() + nameservers.size() + entities.size() + remarks.size() < size; ++i) {
        const std::string n = std::to_string(i);
        nameservers += R"({"objectClassName":"nameserver","ldhName":"NS)" + n +
                       R"(.EXAMPLE-HOSTING.COM","status":["active"]},)";
        if (i % 4 == 0) {
            entities +=
                R"({"objectClassName":"entity","handle":"C)" + n +
                R"(","roles":["technical"],"vcardArray":["vcard",[["version",{},"text","4.0"],)"
                R"(["fn",{},"text","Contact )" +
                n +
                R"("],["adr",{},"text",["","",["1 Main St","Floor 2"],"Springfield","IL",)"
                R"("62701","US"]],["tel",{"type":"voice"},"uri","tel:+1.5555550100"],)"
                R"(["email",{},"text","c)" +
                n + R"(@example.com"]]]},)";
        }
        if (i % 2 == 0) {
            remarks += R"({"title":"Remark )" + n +
                       R"(","description":["One of many remarks added to grow the answer.",)"
                       R"("It has two lines."]},)";
        }
    }
    PrependToList(answer, "nameservers", nameservers);
    PrependToList(answer, "entities", entities);
    remarks.pop_back();
    answer.pop_back();
    answer += R"(,"remarks":[)" + remarks + "]}";
    return answer;
}

void Render(benchmark::State& state, const std::string& answer)
{
    for (auto _ : state) {
        auto text = RdapToText(answer, kUrl);
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(answer.size()));
}

void RecordedDomain(benchmark::State& state)
{
    Render(state, RecordedAnswer());
}
BENCHMARK(RecordedDomain);

void OneMebibyteDomain(benchmark::State& state)
{
    const std::string answer = GrownAnswer(1 << 20);
    state.counters["answer_bytes"] = static_cast<double>(answer.size());
    state.counters["text_bytes"] = static_cast<double>(RdapToText(answer, kUrl)->size());
    Render(state, answer);
}
BENCHMARK(OneMebibyteDomain)->Unit(benchmark::kMillisecond);

void OneMebibyteRelatedLink(benchmark::State& state)
{
    const std::string answer = GrownAnswer(1 << 20);
    for (auto _ : state) {
        auto link = RdapRelatedLink(answer);
        benchmark::DoNotOptimize(link);
    }
}
BENCHMARK(OneMebibyteRelatedLink)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
