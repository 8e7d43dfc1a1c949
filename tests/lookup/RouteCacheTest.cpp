// The remembered routes as the file holds them: which lines count, and what a write leaves.
#include "lookup/RouteCache.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <unistd.h>

namespace whois {
namespace {

using namespace std::chrono_literals;

// A fixed "now", and the file's time for an entry stored an hour before it.
const RouteCache::Clock::time_point kNow{std::chrono::seconds(1'800'000'000)};
const std::string kAnHourAgo = "1799996400";

std::string FileFor(const std::string& name)
{
    return testing::TempDir() + "route-cache-" + name + "-" + std::to_string(::getpid()) + ".tsv";
}

void Write(const std::string& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary) << text;
}

std::string Read(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct LineCase : test::NamedCase {
    std::string file;
    std::optional<std::string> server; // remembered for "io"
};

class RouteCacheLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(RouteCacheLineTest, ReadsOnlyWellFormedRecentLines)
{
    const LineCase& c = GetParam();
    const std::string file = FileFor(c.name);
    Write(file, c.file);
    EXPECT_EQ(RouteCache(file, [] { return kNow; }).ServerFor("io"), c.server);
    std::remove(file.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RouteCacheLineTest,
    testing::Values(
        LineCase{"Entry", "io\twhois.nic.io\t" + kAnHourAgo + "\n", "whois.nic.io"},
        LineCase{"LastLineWithoutLineEnd", "io\twhois.nic.io\t" + kAnHourAgo, "whois.nic.io"},
        LineCase{"AmongOthers",
                 "de\twhois.denic.de\t" + kAnHourAgo + "\nio\twhois.nic.io\t" + kAnHourAgo +
                     "\r\nxyz\twhois.nic.xyz\t" + kAnHourAgo + "\n",
                 "whois.nic.io"},
        LineCase{"SpacesBeforeTheTime", "io\twhois.nic.io\t  " + kAnHourAgo + "\n", "whois.nic.io"},
        LineCase{"MissingTime", "io\twhois.nic.io\n", std::nullopt},
        LineCase{"TimeNotANumber", "io\twhois.nic.io\tyesterday\n", std::nullopt},
        LineCase{"SpaceInTheServer", "io\twhois nic.io\t" + kAnHourAgo + "\n", std::nullopt},
        LineCase{"EmptyServer", "io\t\t" + kAnHourAgo + "\n", std::nullopt},
        LineCase{"OlderThanADay", "io\twhois.nic.io\t1799900000\n", std::nullopt},
        LineCase{"FromTheFuture", "io\twhois.nic.io\t1900000000\n", std::nullopt},
        LineCase{"NotOurFile",
                 "\x7F"
                 "ELF\x02\x01\x01",
                 std::nullopt}),
    test::CaseName());

TEST(RouteCacheTest, RememberedRoutesAreReadBackAndForgotten)
{
    const std::string file = FileFor("write");
    std::remove(file.c_str());
    RouteCache cache(file, [] { return kNow; });
    cache.Remember("io", "whois.nic.io");
    cache.Remember("xyz", "whois.nic.xyz");
    EXPECT_EQ(Read(file), "io\twhois.nic.io\t1800000000\nxyz\twhois.nic.xyz\t1800000000\n");
    cache.Forget("io");
    EXPECT_EQ(cache.ServerFor("io"), std::nullopt);
    EXPECT_EQ(cache.ServerFor("xyz"), std::optional<std::string>("whois.nic.xyz"));
    std::remove(file.c_str());
}

} // namespace
} // namespace whois
