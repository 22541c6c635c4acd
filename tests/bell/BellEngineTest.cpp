// The bell through a day: each entry rings once at its time, start-up marks what has passed, the
// six-tick wait after start-up and after each firing.

#include "support/BellTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace halvix {
namespace {

using namespace test;
using test::kDone; // the texts, over the catalogue's pointers
using test::kPassed;
using test::kPending;

TEST_F(BellTest, SchoolDayRingsEveryEntryOnceAtItsTime) {
    const std::vector<Entry> day = {
        {"", "上课.mp3"},        // no time: never rings
        {"00:30:00", "夜.mp3"},  // before the nightly reload, which must not ring it again
        {"01:01", "起.mp3"},     // the reload's own minute
        {"06:30", "voic\\晨读"}, // playlist in voic
        {"07:00:00", "起床.mp3"}, {"07:30", "早读.mp3"},
        {"07:55:00", "预备.mp3"}, {"08:00", "上课.mp3"},
        {"08:00", "广播.mp3"}, // one minute, two entries
        {"08:45:00", "下课.mp3"}, {"08:55:00", "上课.mp3"},
        {"09:40:00", "下课.mp3"}, {"09:50", "voic/眼操"}, // the other separator
        {"09:55:00", "上课.mp3"}, {"10:40:00", "下课.mp3"},
        {"10:50:00", "上课.mp3"}, {"11:35:30", "下课.mp3"},
        {"11:35:33", "广播.mp3"},                           // due inside the six-tick wait
        {"12:00", "voic/午休"},   {"12:60:00", "下课.mp3"}, // not a time
        {"13:30:00", "预备.mp3"}, {"13:40:00", "上课.mp3"},
        {"14:25:00", "下课.mp3"}, {"14:35:00", "上课.mp3"},
        {"15:20:00", "下课.mp3"}, {"15:30", "voic/眼操"},
        {"15:35:00", "上课.mp3"}, {"16:20:00", "下课.mp3"},
        {"16:30:00", "上课.mp3"}, {"17:15:00", "下课.mp3"},
        {"17:15:00", "广播.mp3"},                // one second, two entries
        {"18:30", "晚自习.mp3"},  {"19:00", ""}, // rings, sounds nothing
        {"21:30:00", "放学.mp3"}, {"23:59:50", "熄灯.mp3"},
        {"23:59:52", "晚安.mp3"}, {"25:00", "上课.mp3"},
        {"8:00", "上课.mp3"},
    };
    startWith(day, at("00:00:00"));
    tickUntil(at("23:59:59"));

    const Texts fired = {
        "00:30:00 #1",  "01:01:00 #2",  "06:30:00 #3",  "07:00:00 #4",  "07:30:00 #5",  "07:55:00 #6",
        "08:00:00 #7",  "08:00:07 #8",  "08:45:00 #9",  "08:55:00 #10", "09:40:00 #11", "09:50:00 #12",
        "09:55:00 #13", "10:40:00 #14", "10:50:00 #15", "11:35:30 #16", "11:35:37 #17", "12:00:00 #18",
        "13:30:00 #20", "13:40:00 #21", "14:25:00 #22", "14:35:00 #23", "15:20:00 #24", "15:30:00 #25",
        "15:35:00 #26", "16:20:00 #27", "16:30:00 #28", "17:15:00 #29", "17:15:07 #30", "18:30:00 #31",
        "19:00:00 #32", "21:30:00 #33", "23:59:50 #34", "23:59:57 #35",
    };
    EXPECT_EQ(firedRows(), fired);
    const Texts sounds = {
        "00:30:00 夜.mp3",     "01:01:00 起.mp3",      "06:30:00 轨 1.mp3",    "06:30:03 轨 2.mp3",
        "06:30:06 轨 3.wav",   "07:00:00 起床.mp3",    "07:30:00 早读.mp3",    "07:55:00 预备.mp3",
        "08:00:00 上课.mp3",   "08:00:07 广播.mp3",    "08:45:00 下课.mp3",    "08:55:00 上课.mp3",
        "09:40:00 下课.mp3",   "09:50:00 轨 eyes.mp3", "09:55:00 上课.mp3",    "10:40:00 下课.mp3",
        "10:50:00 上课.mp3",   "11:35:30 下课.mp3",    "11:35:37 广播.mp3",    "12:00:00 轨 a.wma",
        "12:00:06 轨 b.mp3",   "13:30:00 预备.mp3",    "13:40:00 上课.mp3",    "14:25:00 下课.mp3",
        "14:35:00 上课.mp3",   "15:20:00 下课.mp3",    "15:30:00 轨 eyes.mp3", "15:35:00 上课.mp3",
        "16:20:00 下课.mp3",   "16:30:00 上课.mp3",    "17:15:00 下课.mp3",    "17:15:07 广播.mp3",
        "18:30:00 晚自习.mp3", "21:30:00 放学.mp3",    "23:59:50 熄灯.mp3",    "23:59:57 晚安.mp3",
    };
    EXPECT_EQ(heard, sounds);

    // Every entry with a time is done; the rows without one were never touched.
    Texts expected(day.size(), kDone);
    expected[0] = expected[19] = expected[36] = expected[37] = kPending;
    EXPECT_EQ(statuses(), expected);
    EXPECT_EQ(engine.currentRow(), -1);
    EXPECT_EQ(source.loads.size(), 2u); // start-up before 01:01, and the nightly reload
}

TEST_F(BellTest, StartUpMarksPassedEntriesPassedSilentlyAndArmsTheNext) {
    const std::vector<Entry> day = {{"07:00:00", "a.mp3"},   {"08:00", "b.mp3"},    {"10:40:00", "c.mp3"},
                                    {"09:00", "voic\\晨读"}, {"10:50:00", "d.mp3"}, {"11:00", "e.mp3"}};
    EXPECT_FALSE(startWith(day, at("10:41:30")));
    // They never rang: 已过, not 完成.
    EXPECT_EQ(statuses(), (Texts{kPassed, kPassed, kPassed, kPassed, kPending, kPending}));
    EXPECT_EQ(log.statusRows, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_TRUE(single.calls.empty());
    EXPECT_TRUE(track.calls.empty());
    EXPECT_EQ(engine.currentRow(), 4);
    EXPECT_EQ(log.shownRows.back(), 4);
    EXPECT_EQ(countdown.load(), 510);
    EXPECT_EQ(engine.target().hour * 10000 + engine.target().minute * 100 + engine.target().second, 105000);
    EXPECT_FALSE(engine.target().minutePrecision);

    // Six ticks only count; the seventh compares.
    for (int i = 1; i <= BellEngine::kWaitTicks; ++i) {
        EXPECT_FALSE(engine.armed());
        tick(localTimeAt(wallSecond(now) + 1));
        EXPECT_EQ(engine.armCount(), i);
    }
    EXPECT_TRUE(engine.armed());
    tickUntil(at("11:00:30"));
    EXPECT_EQ(heard, (Texts{"10:50:00 d.mp3", "11:00:00 e.mp3"}));
    EXPECT_EQ(countdown.load(), 0); // nothing pending: no countdown
}

TEST_F(BellTest, StartUpWithNothingLeftShowsNoCountdown) {
    EXPECT_TRUE(startWith({{"07:00:00", "a.mp3"}, {"08:00", "b.mp3"}}, at("12:00:00")));
    EXPECT_EQ(engine.currentRow(), -1);
    EXPECT_EQ(countdown.load(), 0);
    tickUntil(at("23:59:59"));
    EXPECT_TRUE(heard.empty());
}

TEST_F(BellTest, EntriesDueDuringTheWaitRingWhenItEnds) {
    struct Case {
        const char* start;
        std::vector<Entry> entries;
        Texts heard;
    } cases[] = {
        // Within their minute, HH:MM entries seven ticks apart; the countdown may start negative.
        {"08:00:30",
         {{"08:00", "a.mp3"}, {"08:00", "b.mp3"}, {"08:01:00", "c.mp3"}},
         {"08:00:37 a.mp3", "08:00:44 b.mp3", "08:01:00 c.mp3"}},
        // The second HH:MM entry would ring after its minute: skipped; the next, due, rings at once.
        {"08:00:50",
         {{"08:00", "a.mp3"}, {"08:00", "b.mp3"}, {"08:01:00", "c.mp3"}},
         {"08:00:57 a.mp3", "08:01:04 c.mp3"}},
        // An HH:MM:SS entry inside the wait after start-up.
        {"07:59:58", {{"08:00:00", "a.mp3"}, {"08:00:01", "b.mp3"}}, {"08:00:05 a.mp3", "08:00:12 b.mp3"}},
        // Less than a minute past at start-up still rings.
        {"08:00:20", {{"08:00:00", "a.mp3"}}, {"08:00:27 a.mp3"}},
        // Eight entries in one second: seven ticks apart while within the minute, the rest skipped.
        {"07:59:50",
         {{"08:00:00", "a.mp3"},
          {"08:00:00", "b.mp3"},
          {"08:00:00", "c.mp3"},
          {"08:00:00", "d.mp3"},
          {"08:00:00", "e.mp3"},
          {"08:00:00", "a.mp3"},
          {"08:00:00", "b.mp3"},
          {"08:00:00", "c.mp3"},
          {"08:00:00", "d.mp3"},
          {"08:00:00", "e.mp3"}},
         {"08:00:00 a.mp3", "08:00:07 b.mp3", "08:00:14 c.mp3", "08:00:21 d.mp3", "08:00:28 e.mp3",
          "08:00:35 a.mp3", "08:00:42 b.mp3", "08:00:49 c.mp3", "08:00:56 d.mp3"}},
    };
    int day = 6;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        heard.clear();
        // A date of its own for each start: what rang on a date stays done at its next reload.
        startWith(c.entries, at(c.start, day));
        tickUntil(at("08:05:00", day));
        Texts expected;
        for (const auto& h : c.heard)
            expected.push_back(day == 6 ? h : std::to_string(day) + "日" + h);
        EXPECT_EQ(heard, expected);
        ++day;
        // What rang is 完成, what was skipped 已过; nothing is left to ring.
        const Texts shown = statuses();
        EXPECT_EQ(std::count(shown.begin(), shown.end(), kDone), std::ssize(c.heard));
        EXPECT_EQ(std::count(shown.begin(), shown.end(), kPassed), std::ssize(shown) - std::ssize(c.heard));
    }
}

TEST_F(BellTest, FiringAdvancesTheSelectionAndArmsBeforeTheSoundStarts) {
    startWith({{"08:00:00", "voic\\晨读"}, {"08:00:05", "a.mp3"}, {"09:00", "b.mp3"}}, at("07:59:00"));
    tickUntil(at("08:00:00"));
    EXPECT_EQ(firedRows(), Texts{"08:00:00 #0"});
    EXPECT_EQ(engine.currentRow(), 1);
    EXPECT_EQ(countdown.load(), 5);
    EXPECT_FALSE(engine.armed());
    EXPECT_EQ(engine.armCount(), 0);
    // A single file firing ends the playlist of the folder before it.
    tickUntil(at("08:00:20"));
    EXPECT_EQ(heard,
              (Texts{"08:00:00 轨 1.mp3", "08:00:03 轨 2.mp3", "08:00:06 轨 3.wav", "08:00:07 a.mp3"}));
    EXPECT_FALSE(playback.folderMode());
}

// At every second of a day the count of entries left is what rings from then on: random plans of
// HH:MM and HH:MM:SS entries, some sharing a second, some with a text that never rings, started at
// a random second after the nightly reload.
TEST(EntriesLeft, IsWhatRingsFromThenOn) {
    std::mt19937 random(20250312);
    for (int round = 0; round < 40; ++round) {
        const int start = std::uniform_int_distribution<>(3700, 80000)(random);
        std::vector<std::pair<int, std::string>> timed;
        for (int n = std::uniform_int_distribution<>(0, 12)(random); n > 0; --n) {
            // Mostly after the start, some before or within its minute; all before 23:50.
            const int second = std::uniform_int_distribution<>(std::max(3700, start - 120), 85800)(random);
            char text[16];
            if (random() % 4 == 0)
                std::snprintf(text, sizeof text, "%02d:%02d", second / 3600, second / 60 % 60);
            else
                std::snprintf(text, sizeof text, "%02d:%02d:%02d", second / 3600, second / 60 % 60,
                              second % 60);
            timed.emplace_back(second, random() % 8 == 0 ? "25:00" : text);
            if (random() % 5 == 0)
                timed.push_back(timed.back()); // two entries, one second
        }
        std::sort(timed.begin(), timed.end());
        test::BellRig<FakeSource> rig;
        std::vector<Entry> day;
        for (const auto& [second, text] : timed)
            day.push_back({text, ""}); // rings, sounds nothing
        rig.source.dayPlan = planOf(day);
        rig.now = localTimeAt(wallSecondOf(at("00:00:00")) + start);
        rig.engine.reloadPlan(rig.now);

        std::vector<std::pair<int, std::size_t>> leftAndFired; // before each tick
        for (long long s = wallSecond(rig.now) + 1; s <= wallSecondOf(at("23:59:59")); ++s) {
            leftAndFired.emplace_back(rig.engine.entriesLeft(), rig.log.firings.size());
            rig.now = localTimeAt(s);
            rig.engine.onTick(rig.now);
        }
        const std::size_t total = rig.log.firings.size();
        for (const auto& [left, fired] : leftAndFired)
            ASSERT_EQ(std::size_t(left), total - fired) << "round " << round << ", start " << start;
        EXPECT_EQ(rig.engine.entriesLeft(), 0);
    }
}

} // namespace
} // namespace halvix
