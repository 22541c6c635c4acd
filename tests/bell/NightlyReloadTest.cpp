// The plan reloaded once per date at or after 01:01, on waking from a night asleep, and around
// midnight.

#include "support/BellTest.h"

#include <gtest/gtest.h>

namespace halvix {
namespace {

using namespace test;
using test::kDone; // the texts, over the catalogue's pointers
using test::kPassed;
using test::kPending;

TEST_F(BellTest, NightlyReloadOncePerDateAtOrAfter0101) {
    startWith({{"00:30", "a.mp3"}, {"09:00", "b.mp3"}}, at("00:10:00"));
    tickUntil(at("01:00:59"));
    EXPECT_EQ(source.loads.size(), 1u);
    EXPECT_TRUE(engine.reloadAllowed(now));
    tickUntil(at("01:05:00"));
    ASSERT_EQ(source.loads.size(), 2u);
    EXPECT_EQ(stamp(source.loads[1]), "01:01:00");
    EXPECT_EQ(log.replaced, 2);
    EXPECT_FALSE(engine.reloadAllowed(now));
    // The fresh plan: the entry that rang at 00:30 is passed and stays silent.
    EXPECT_EQ(statuses(), (Texts{kDone, kPending}));
    EXPECT_EQ(heard, (Texts{"00:30:00 a.mp3"}));

    // A day without rows keeps the plan, which is armed again all the same.
    source.result = LoadResult::NoRows;
    tickUntil(at("01:30:00", 7));
    ASSERT_EQ(source.loads.size(), 3u);
    EXPECT_EQ(stamp(source.loads[2]), "7日01:01:00");
    EXPECT_EQ(log.replaced, 2);
    EXPECT_EQ(statuses(), (Texts{kDone, kDone}));
    EXPECT_EQ(heard, (Texts{"00:30:00 a.mp3", "09:00:00 b.mp3"}));
}

TEST_F(BellTest, StartUpAfter0101IsThatDatesLoad) {
    startWith({{"09:00", "a.mp3"}}, at("01:01:00"));
    tickUntil(at("23:59:59"));
    EXPECT_EQ(source.loads.size(), 1u);
    tickUntil(at("09:00:00", 7));
    EXPECT_EQ(source.loads.size(), 2u);
    EXPECT_EQ(heard, (Texts{"09:00:00 a.mp3", "7日09:00:00 a.mp3"}));
}

TEST_F(BellTest, NightAsleepReloadsOnWakingAndRingsWhatIsDue) {
    startWith({{"06:30", "voic\\晨读"}, {"07:00:00", "a.mp3"}, {"07:20", "b.mp3"}, {"21:00", "c.mp3"}},
              at("20:00:00"));
    tickUntil(at("22:00:00"));
    tick(at("07:00:00", 7)); // suspended through the night
    ASSERT_EQ(source.loads.size(), 2u);
    EXPECT_EQ(source.loads[1].day, 7);
    tickUntil(at("08:00:00", 7));
    EXPECT_EQ(heard, (Texts{"21:00:00 c.mp3", "7日07:00:00 a.mp3", "7日07:20:00 b.mp3"}));
    EXPECT_EQ(statuses(), (Texts{kPassed, kDone, kDone, kPending}));
}

TEST_F(BellTest, AroundMidnight) {
    // The day's last seconds ring on into the next date.
    startWith({{"23:59:58", "a.mp3"}, {"23:59:59", "b.mp3"}}, at("23:59:00"));
    tickUntil(at("00:00:30", 7));
    EXPECT_EQ(heard, (Texts{"23:59:58 a.mp3", "7日00:00:05 b.mp3"}));

    // Ticks missing across midnight: the entry a minute overdue is skipped (not kept for the same
    // time tomorrow), the one less than a minute overdue still rings.
    heard.clear();
    startWith({{"23:59:30", "a.mp3"}, {"23:59:45", "b.mp3"}}, at("23:59:00"));
    tickUntil(at("23:59:10"));
    tick(at("00:00:40", 7));
    tickUntil(at("01:00:00", 7));
    EXPECT_EQ(heard, Texts{"7日00:00:40 b.mp3"});
    EXPECT_EQ(statuses(), (Texts{kPassed, kDone}));
}

} // namespace
} // namespace halvix
