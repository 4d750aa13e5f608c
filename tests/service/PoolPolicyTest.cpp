// When an Apertium mode's pool grows and when its pipelines retire, on made-up states and times.
#include "apertium/PoolPolicy.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

using service::PoolPolicy;

namespace {

PoolPolicy::Options options()
{
    PoolPolicy::Options o;
    o.limit = 2;
    o.growAfterMs = 100;
    o.spareIdleMs = 1000;
    o.modeIdleMs = 5000;
    return o;
}

struct Look {
    qint64 now;
    qsizetype poolSize;
    bool textsWait;
    int busyEverywhere;
    bool grows;
};

struct GrowthCase {
    const char* name;
    QList<Look> looks;
};

void PrintTo(const GrowthCase& c, std::ostream* os)
{
    *os << c.name;
}

const GrowthCase kGrowth[] = {
    {"backlog_with_a_core_free_grows_after_the_wait",
        {{0, 1, true, 1, false}, {60, 1, true, 1, false}, {99, 1, true, 1, false}, {100, 1, true, 1, true}}},
    {"short_waits_with_breaks_never_grow",
        {{0, 1, true, 1, false}, {80, 1, false, 1, false}, {90, 1, true, 1, false}, {170, 1, false, 0, false},
            {180, 1, true, 1, false}, {270, 1, true, 1, false}}},
    {"every_core_busy_with_other_modes_never_grows", {{0, 1, true, 2, false}, {500, 1, true, 2, false}}},
    {"a_busy_moment_restarts_the_wait",
        {{0, 1, true, 1, false}, {90, 1, true, 2, false}, {120, 1, true, 1, false}, {219, 1, true, 1, false},
            {220, 1, true, 1, true}}},
    {"a_full_pool_never_grows", {{0, 2, true, 0, false}, {1000, 2, true, 0, false}}},
    {"after_growing_the_next_needs_another_wait",
        {{0, 1, true, 1, false}, {100, 1, true, 1, true}, {150, 1, true, 1, false}, {200, 1, true, 1, true}}},
};

class PoolGrowth : public ::testing::TestWithParam<GrowthCase>
{
};

struct RetireCase {
    const char* name;
    QList<PoolPolicy::Slot> pool;
    qint64 now;
    QList<qsizetype> spares;
    bool stop;
    qint64 nextDue;
};

void PrintTo(const RetireCase& c, std::ostream* os)
{
    *os << c.name;
}

// Slots: {running, busy, lastUsed}.
const RetireCase kRetire[] = {
    {"idle_spares_go_the_first_stays", {{true, false, 0}, {true, false, 0}, {true, false, 500}}, 1500, {2, 1}, false,
        5000},
    {"a_spare_used_lately_stays_until_due", {{true, false, 0}, {true, false, 800}}, 1000, {}, false, 1800},
    {"a_busy_spare_stays", {{true, false, 0}, {true, true, 0}}, 3000, {}, false, 4000},
    {"a_busy_first_keeps_the_mode_but_not_the_spares", {{true, true, 0}, {true, false, 0}}, 6000, {1}, false, 11000},
    {"a_mode_idle_long_enough_stops", {{true, false, 100}}, 5100, {}, true, -1},
    {"a_mode_idle_not_long_enough_runs_on", {{true, false, 100}}, 5000, {}, false, 5100},
    {"spares_go_and_the_mode_stops_at_once", {{true, false, 0}, {true, false, 0}}, 6000, {1}, true, -1},
    {"a_stopped_mode_has_nothing_due", {{false, false, 0}}, 100000, {}, false, -1},
};

class PoolRetirement : public ::testing::TestWithParam<RetireCase>
{
};

} // namespace

TEST_P(PoolGrowth, growsOnlyWhileTextsWaitWithACoreFree)
{
    PoolPolicy policy(options());
    for (const Look& look : GetParam().looks) {
        EXPECT_EQ(policy.observe(look.poolSize, look.textsWait, look.busyEverywhere, look.now), look.grows)
            << "at " << look.now;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, PoolGrowth, ::testing::ValuesIn(kGrowth), CaseName());

TEST_P(PoolRetirement, sparesRetireThenTheModeStops)
{
    const RetireCase& c = GetParam();
    const PoolPolicy::Retirement r = PoolPolicy(options()).retire(c.pool, c.now);
    EXPECT_EQ(r.spares, c.spares);
    EXPECT_EQ(r.stop, c.stop);
    EXPECT_EQ(r.nextDue, c.nextDue);
}

INSTANTIATE_TEST_SUITE_P(Cases, PoolRetirement, ::testing::ValuesIn(kRetire), CaseName());

TEST(PoolPolicy, anIdleWarmPipelineTakesTheText)
{
    EXPECT_EQ(PoolPolicy::pickIdle({{false, false, 0}, {true, false, 0}}), 1);
    EXPECT_EQ(PoolPolicy::pickIdle({{true, false, 0}, {true, false, 0}}), 0);
    EXPECT_EQ(PoolPolicy::pickIdle({{true, true, 0}, {true, true, 0}}), -1);
}
