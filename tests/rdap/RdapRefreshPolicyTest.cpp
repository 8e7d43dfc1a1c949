#include "rdap/RdapRefreshPolicy.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

namespace whois {
namespace {

using namespace std::chrono_literals;

const std::chrono::sys_seconds kNow{std::chrono::seconds(1'800'000'000)};

struct DueCase : test::NamedCase {
    std::optional<std::chrono::seconds> refreshedAgo;
    std::optional<std::chrono::seconds> failedAgo;
    bool due;
};

class RdapRefreshPolicyTest : public testing::TestWithParam<DueCase> {};

TEST_P(RdapRefreshPolicyTest, DecidesWhetherToFetch)
{
    const DueCase& c = GetParam();
    RdapRefreshState state;
    if (c.refreshedAgo) {
        state.lastRefreshed = kNow - *c.refreshedAgo;
    }
    if (c.failedAgo) {
        state.lastFailed = kNow - *c.failedAgo;
    }
    EXPECT_EQ(RdapRefreshDue(state, kNow), c.due);
}

constexpr std::optional<std::chrono::seconds> kNever;

INSTANTIATE_TEST_SUITE_P(
    Cases, RdapRefreshPolicyTest,
    testing::Values(
        DueCase{{"NeverFetched"}, kNever, kNever, true}, DueCase{{"Fresh"}, 1h, kNever, false},
        DueCase{{"AlmostADay"}, 24h - 1s, kNever, false}, DueCase{{"ADay"}, 24h, kNever, true},
        DueCase{{"TwentyFiveHoursOld"}, 25h, kNever, true},
        DueCase{{"FailedHalfAnHourAgo"}, 25h, 30min, false},
        DueCase{{"FailedAlmostAnHourAgo"}, 25h, 1h - 1s, false},
        DueCase{{"FailedAnHourAgo"}, 25h, 1h, true}, DueCase{{"FailedTwoHoursAgo"}, 25h, 2h, true},
        DueCase{{"NeverFetchedFailedHalfAnHourAgo"}, kNever, 30min, false},
        DueCase{{"FreshFailedTwoHoursAgo"}, 1h, 2h, false},
        DueCase{{"RefreshedInTheFuture"}, -1h, kNever, true},
        DueCase{{"FailedInTheFuture"}, 25h, -10min, true}),
    test::CaseName());

} // namespace
} // namespace whois
