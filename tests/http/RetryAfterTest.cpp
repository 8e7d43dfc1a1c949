#include "http/RetryAfter.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

namespace whois {
namespace {

using namespace std::chrono_literals;

// 2023-11-14 22:13:20 UTC.
const auto kNow = std::chrono::system_clock::from_time_t(1'700'000'000);

struct RetryAfterCase : test::NamedCase {
    const char* value;
    std::optional<std::chrono::seconds> wait;
};

class RetryAfterTest : public testing::TestWithParam<RetryAfterCase> {};

TEST_P(RetryAfterTest, GivesTheWait)
{
    EXPECT_EQ(ParseRetryAfter(GetParam().value, kNow), GetParam().wait);
}

INSTANTIATE_TEST_SUITE_P(
    Values, RetryAfterTest,
    testing::Values(RetryAfterCase{{"Seconds"}, "120", 120s}, RetryAfterCase{{"Zero"}, "0", 0s},
                    RetryAfterCase{{"SecondsWithBlanks"}, " 7\t", 7s},
                    RetryAfterCase{{"HttpDate"}, "Tue, 14 Nov 2023 22:14:50 GMT", 90s},
                    RetryAfterCase{{"HttpDatePast"}, "Tue, 14 Nov 2023 21:56:40 GMT", 0s},
                    RetryAfterCase{{"Negative"}, "-5", std::nullopt},
                    RetryAfterCase{{"Words"}, "soon", std::nullopt},
                    RetryAfterCase{{"Empty"}, "", std::nullopt},
                    RetryAfterCase{{"TooManyDigits"}, "99999999999999999999999", std::nullopt}),
    test::CaseName{});

} // namespace
} // namespace whois
