// The bell when its ticks come late or the clock is stepped forward, back or to a wrong date:
// nothing rings twice, what was jumped over stays silent, the bell never stalls.

#include "support/BellTest.h"

#include <gtest/gtest.h>

namespace halvix {
namespace {

using namespace test;
using test::kDone; // the texts, over the catalogue's pointers
using test::kPassed;
using test::kPending;

TEST_F(BellTest, LateTicksRingLateOrSkipButNeverStall) {
    startWith({{"08:00:00", "a.mp3"}, {"08:00:30", "b.mp3"}, {"08:01", "c.mp3"}, {"08:03:00", "d.mp3"}},
              at("07:59:00"));
    tickUntil(at("07:59:58"));
    tick(at("08:00:03")); // the window thread was held up for five seconds
    tickUntil(at("08:00:20"));
    tick(at("08:01:40")); // and then for 80
    tickUntil(at("08:05:00"));
    EXPECT_EQ(heard, (Texts{"08:00:03 a.mp3", "08:01:40 c.mp3", "08:03:00 d.mp3"}));
    EXPECT_EQ(statuses(), (Texts{kDone, kPassed, kDone, kDone}));
}

TEST_F(BellTest, ClockSteppedForwardSkipsWhatItJumpedOver) {
    startWith({{"08:00", "a.mp3"},
               {"08:30:00", "voic\\晨读"},
               {"09:00", "b.mp3"},
               {"10:00", "c.mp3"},
               {"10:00:20", "d.mp3"}},
              at("07:00:00"));
    EXPECT_EQ(countdown.load(), 3600);
    tickUntil(at("07:10:00"));
    tick(at("07:30:00"));
    EXPECT_EQ(countdown.load(), 1800); // the countdown follows the step
    tick(at("10:00:10"));
    tickUntil(at("10:30:00"));
    EXPECT_EQ(heard, (Texts{"10:00:10 c.mp3", "10:00:20 d.mp3"}));
    EXPECT_EQ(firedRows(), (Texts{"10:00:10 #3", "10:00:20 #4"}));
}

TEST_F(BellTest, SkippedEntryEndsTheRunningPlaylist) {
    track.lengthOf["a.wma"] = 60000;
    startWith({{"08:00:00", "voic/午休"}, {"08:01:00", "a.mp3"}}, at("07:59:00"));
    tickUntil(at("08:00:10"));
    tick(at("08:02:00")); // a.mp3 is jumped over while the first track plays
    tickUntil(at("08:05:00"));
    EXPECT_EQ(heard, (Texts{"08:00:00 轨 a.wma"}));
}

TEST_F(BellTest, ClockSteppedBackNeverRingsAnEntryAgain) {
    startWith({{"08:00:00", "a.mp3"}, {"08:05", "b.mp3"}}, at("07:59:00"));
    tickUntil(at("08:00:30"));
    tick(at("07:59:00"));
    EXPECT_EQ(countdown.load(), 360);
    tickUntil(at("08:10:00"));
    tick(at("08:04:00"));
    tickUntil(at("08:10:00"));
    EXPECT_EQ(heard, (Texts{"08:00:00 a.mp3", "08:05:00 b.mp3"}));
}

// The machine sleeps right after a ring, before the next entry was ever compared, and wakes to
// a clock that is then set back an hour, still past that entry: it is passed over, not put off to
// tomorrow with every entry behind it.
TEST_F(BellTest, ClockSetBackPastAnEntryNeverComparedDoesNotHoldUpTheDay) {
    startWith({{"07:43:04", "a.mp3"}, {"08:03", "b.mp3"}, {"10:40:00", "c.mp3"}}, at("07:43:00"));
    tickUntil(at("07:43:08")); // rings at the end of the start-up wait
    tick(at("11:27:57"));      // still inside the wait after the ring
    tick(at("10:26:56"));
    tickUntil(at("10:41:00"));
    EXPECT_EQ(heard, (Texts{"07:43:07 a.mp3", "10:40:00 c.mp3"}));
}

TEST_F(BellTest, WrongDateCorrectedBackDoesNotStallTheBell) {
    startWith({{"09:00", "a.mp3"}, {"20:00:00", "b.mp3"}}, at("07:00:00", 6));
    tickUntil(at("07:00:10", 6));
    tick(at("07:00:00", 9)); // the clock jumps to a wrong date: that date's plan is loaded
    ASSERT_EQ(source.loads.size(), 2u);
    tickUntil(at("07:00:20", 9));
    tick(at("07:00:30", 6)); // and is put right: the 6th has its own plan again
    tickUntil(at("20:00:00", 6));
    EXPECT_EQ(heard, (Texts{"09:00:00 a.mp3", "20:00:00 b.mp3"}));
    EXPECT_EQ(source.loads.size(), 3u);
    tickUntil(at("01:01:00", 7)); // the 7th is a new date
    EXPECT_EQ(source.loads.size(), 4u);
}

TEST_F(BellTest, WrongDateAtStartUpNeverSilencesThatDateLater) {
    startWith({{"09:00", "a.mp3"}}, at("08:00:00", 9)); // started with the clock three days ahead
    tickUntil(at("08:00:10", 9));
    tick(at("08:00:20", 6)); // put right: the 6th never had its plan
    tickUntil(at("09:00:00", 9));
    EXPECT_EQ(heard,
              (Texts{"09:00:00 a.mp3", "7日09:00:00 a.mp3", "8日09:00:00 a.mp3", "9日09:00:00 a.mp3"}));
    EXPECT_EQ(source.loads.size(), 5u);
}

} // namespace
} // namespace halvix
