#include "bell/BellEngine.h"

#include "time/ClockText.h"
#include "time/LocalTime.h"
#include "bell/PlanSource.h"
#include "store/TextTable.h"
#include "support/FakeClock.h"
#include "support/BellRig.h"
#include "support/PlanTitles.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

namespace halvix {
namespace {

using test::dateTime;
using test::localTimeAt;
using Texts = std::vector<std::string>;

// ---- clock texts ---------------------------------------------------------------------------

TEST(ClockText, EntryTimesAreHhMmOrHhMmSsOnly) {
    struct Case {
        const char* text;
        int secondOfDay; // -1: not an entry time
        bool minutePrecision;
    } cases[] = {
        {"00:00", 0, true},
        {"08:05", 29100, true},
        {"23:59", 86340, true},
        {"08:05:09", 29109, false},
        {"23:59:59", 86399, false},
        {"00:00:00", 0, false},
        {"8:05", -1, false},
        {"8:05:00", -1, false},
        {"08:5", -1, false},
        {"24:00", -1, false},
        {"08:60", -1, false},
        {"08:00:60", -1, false},
        {"08-00", -1, false},
        {"ab:cd", -1, false},
        {" 8:00", -1, false},
        {"08:00 ", -1, false},
        {"08:00:0", -1, false},
        {"08:00:000", -1, false},
        {"", -1, false},
        {"-1:00", -1, false},
        {"08:0x:00", -1, false},
    };
    for (const auto& c : cases) {
        const auto time = readEntryTimeText(c.text);
        if (c.secondOfDay < 0) {
            EXPECT_FALSE(time) << c.text;
            continue;
        }
        ASSERT_TRUE(time) << c.text;
        EXPECT_EQ(time->secondOfDay(), c.secondOfDay) << c.text;
        EXPECT_EQ(time->minutePrecision, c.minutePrecision) << c.text;
    }
}

TEST(ClockText, DayNumbersAndWallSeconds) {
    EXPECT_EQ(dayNumber(dateTime(1970, 1, 1)), 0);
    EXPECT_EQ(dayNumber(dateTime(1969, 12, 31)), -1);
    EXPECT_EQ(dayNumber(dateTime(2000, 3, 1)), 11017);
    EXPECT_EQ(dayNumber(dateTime(2024, 3, 1)) - dayNumber(dateTime(2024, 2, 29)), 1);
    EXPECT_EQ(dayNumber(dateTime(2023, 3, 1)) - dayNumber(dateTime(2023, 2, 28)), 1);
    EXPECT_EQ(dayNumber(dateTime(2024, 1, 1)) - dayNumber(dateTime(2023, 12, 31)), 1);
    EXPECT_EQ(dayNumber(dateTime(2101, 1, 1)) - dayNumber(dateTime(2100, 1, 1)), 365); // 2100 is no leap year
    EXPECT_EQ(wallSecond(dateTime(2024, 5, 7, 0, 0, 0)) - wallSecond(dateTime(2024, 5, 6, 23, 59, 59)), 1);
    // Every day from 1559 to 2380 as the standard library's calendar has it.
    for (long long day = -150000; day <= 150000; ++day) {
        const LocalTime t = localTimeAt(day * kSecondsPerDay + 3661);
        ASSERT_EQ(dayNumber(t), day) << t.year << "-" << t.month << "-" << t.day;
        ASSERT_EQ(wallSecond(t), day * kSecondsPerDay + 3661) << t.year << "-" << t.month << "-" << t.day;
    }
}

// ---- the bell --------------------------------------------------------------------------------

// "HH:MM:SS" on day `day` of May 2024 (the 6th is a Monday).
LocalTime at(const char* hms, int day = 6) {
    int h = 0, m = 0, s = 0;
    std::sscanf(hms, "%d:%d:%d", &h, &m, &s);
    return dateTime(2024, 5, day, h, m, s);
}

std::string stamp(const LocalTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return t.day == 6 ? text : std::to_string(t.day) + "日" + text;
}

struct Entry {
    std::string time;
    std::string sound;
};

TextTable planOf(const std::vector<Entry>& entries) {
    TextTable plan;
    plan.setColumns(test::kPlanTitles);
    for (const auto& e : entries)
        plan.appendRow({"", "", e.time, "", e.sound, BellEngine::kPending, ""});
    plan.renumber();
    return plan;
}

class FakeSource final : public PlanSource {
public:
    LoadResult loadDayPlan(TextTable& plan, const LocalTime& now) override {
        loads.push_back(now);
        if (result != LoadResult::Loaded)
            return result;
        plan = dayPlan;
        return LoadResult::Loaded;
    }
    TextTable dayPlan;
    LoadResult result = LoadResult::Loaded;
    std::vector<LocalTime> loads;
};

class BellTest : public ::testing::Test, protected test::BellRig<FakeSource> {
protected:
    BellTest() {
        for (const char* name :
             {"夜.mp3", "起.mp3", "起床.mp3", "早读.mp3", "预备.mp3", "上课.mp3", "广播.mp3", "下课.mp3",
              "晚自习.mp3", "放学.mp3", "熄灯.mp3", "晚安.mp3", "a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"})
            folder.write(std::string("voic/") + name, "");
        for (const char* name : {"voic/晨读/1.mp3", "voic/晨读/2.mp3", "voic/晨读/3.wav", "voic/晨读/读.txt",
                                 "眼操/eyes.mp3", "午休/a.wma", "午休/b.mp3"})
            folder.write(name, "");
        track.lengthOf = {{"1.mp3", 2000},      {"2.mp3", 1000}, {"3.wav", 1500},
                          {"eyes.mp3", 300000}, {"a.wma", 5000}, {"b.mp3", 5000}};
    }

    // Loads `entries` as the plan every load yields and starts the program at `start`.
    bool startWith(const std::vector<Entry>& entries, const LocalTime& start) {
        source.dayPlan = planOf(entries);
        now = start;
        engine.reloadPlan(now);
        return engine.nothingLeft();
    }

    void tick(const LocalTime& t) {
        now = t;
        const auto singles = single.played.size();
        const auto tracks = track.played.size();
        engine.onTick(now);
        const auto singleNames = single.playedNames();
        for (auto i = singles; i < singleNames.size(); ++i)
            heard.push_back(stamp(now) + " " + singleNames[i]);
        const auto trackNames = track.playedNames();
        for (auto i = tracks; i < trackNames.size(); ++i)
            heard.push_back(stamp(now) + " 轨 " + trackNames[i]);
    }

    // One tick a second, up to and including `end`.
    void tickUntil(const LocalTime& end) {
        for (long long s = wallSecond(now) + 1; s <= wallSecond(end); ++s)
            tick(localTimeAt(s));
    }

    // "HH:MM:SS #row" of every firing.
    Texts firedRows() const {
        Texts out;
        for (const auto& firing : log.firings)
            out.push_back(stamp(firing.at) + " #" + std::to_string(firing.row));
        return out;
    }

    Texts statuses() const {
        Texts out;
        for (int r = 0; r < plan.rowCount(); ++r)
            out.push_back(plan.cell(r, BellEngine::kStatusColumn));
        return out;
    }

    void deleteRow(int row) {
        plan.removeRow(row);
        engine.rowRemoved(row, now);
    }

    Texts heard; // "HH:MM:SS name" of every sound started, "轨" for playlist tracks
};

const std::string kDone = BellEngine::kDone;
const std::string kPending = BellEngine::kPending;

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
        {"09:40:00", "下课.mp3"}, {"09:50", "眼操"}, // playlist beside the program
        {"09:55:00", "上课.mp3"}, {"10:40:00", "下课.mp3"},
        {"10:50:00", "上课.mp3"}, {"11:35:30", "下课.mp3"},
        {"11:35:33", "广播.mp3"},                           // due inside the six-tick wait
        {"12:00", "午休"},        {"12:60:00", "下课.mp3"}, // not a time
        {"13:30:00", "预备.mp3"}, {"13:40:00", "上课.mp3"},
        {"14:25:00", "下课.mp3"}, {"14:35:00", "上课.mp3"},
        {"15:20:00", "下课.mp3"}, {"15:30", "眼操"},
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

TEST_F(BellTest, StartUpMarksPassedEntriesDoneSilentlyAndArmsTheNext) {
    const std::vector<Entry> day = {{"07:00:00", "a.mp3"},   {"08:00", "b.mp3"},    {"10:40:00", "c.mp3"},
                                    {"09:00", "voic\\晨读"}, {"10:50:00", "d.mp3"}, {"11:00", "e.mp3"}};
    EXPECT_FALSE(startWith(day, at("10:41:30")));
    EXPECT_EQ(statuses(), (Texts{kDone, kDone, kDone, kDone, kPending, kPending}));
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
    EXPECT_EQ(countdown.load(), 600); // left alone once nothing is pending
}

TEST_F(BellTest, StartUpWithNothingLeftKeepsTheCountdown) {
    EXPECT_TRUE(startWith({{"07:00:00", "a.mp3"}, {"08:00", "b.mp3"}}, at("12:00:00")));
    EXPECT_EQ(engine.currentRow(), -1);
    EXPECT_EQ(countdown.load(), 500);
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
        for (const auto& status : statuses())
            EXPECT_EQ(status, kDone);
    }
}

TEST_F(BellTest, LateTicksRingLateOrSkipButNeverStall) {
    startWith({{"08:00:00", "a.mp3"}, {"08:00:30", "b.mp3"}, {"08:01", "c.mp3"}, {"08:03:00", "d.mp3"}},
              at("07:59:00"));
    tickUntil(at("07:59:58"));
    tick(at("08:00:03")); // the window thread was held up for five seconds
    tickUntil(at("08:00:20"));
    tick(at("08:01:40")); // and then for 80
    tickUntil(at("08:05:00"));
    EXPECT_EQ(heard, (Texts{"08:00:03 a.mp3", "08:01:40 c.mp3", "08:03:00 d.mp3"}));
    EXPECT_EQ(statuses(), (Texts{kDone, kDone, kDone, kDone}));
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
    startWith({{"08:00:00", "午休"}, {"08:01:00", "a.mp3"}}, at("07:59:00"));
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
    tick(at("11:27:57"));     // still inside the wait after the ring
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
    EXPECT_EQ(statuses(), (Texts{kDone, kDone, kDone, kPending}));
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
    EXPECT_EQ(statuses(), (Texts{kDone, kDone}));
}

TEST_F(BellTest, DeletedRowsNeverMakeTheBellRingTheWrongEntry) {
    const std::vector<Entry> day = {{"08:00:00", "a.mp3"},
                                    {"08:10:00", "b.mp3"},
                                    {"08:20:00", "c.mp3"},
                                    {"08:30:00", "d.mp3"},
                                    {"08:40:00", "e.mp3"}};
    startWith(day, at("07:00:00"));
    tickUntil(at("08:05:00"));
    deleteRow(0); // a, above the armed b
    EXPECT_EQ(engine.currentRow(), 0);
    tickUntil(at("08:15:00"));
    deleteRow(1); // c, the armed row itself
    EXPECT_EQ(engine.currentRow(), 1);
    EXPECT_EQ(countdown.load(), 900);
    tickUntil(at("08:16:00"));
    deleteRow(2); // e, below the armed d: nothing moves
    EXPECT_EQ(engine.currentRow(), 1);
    tickUntil(at("09:00:00"));
    EXPECT_EQ(heard, (Texts{"08:00:00 a.mp3", "08:10:00 b.mp3", "08:30:00 d.mp3"}));

    // The armed last row: nothing is left armed, nothing rings (no folder is made of the gap).
    heard.clear();
    startWith(day, at("08:35:00"));
    tickUntil(at("08:36:00"));
    deleteRow(4);
    EXPECT_EQ(engine.currentRow(), -1);
    tickUntil(at("09:00:00"));
    EXPECT_TRUE(heard.empty());
    EXPECT_TRUE(track.calls.empty());
}

TEST_F(BellTest, RowsRemovedWithoutNoticeAreCaughtBeforeFiring) {
    startWith({{"08:00:00", "a.mp3"}, {"08:10:00", "b.mp3"}, {"08:20:00", "c.mp3"}}, at("08:05:00"));
    tickUntil(at("08:06:00"));
    plan.removeRow(0); // no rowRemoved: b's armed position now holds c
    tickUntil(at("08:30:00"));
    EXPECT_EQ(heard, (Texts{"08:10:00 b.mp3", "08:20:00 c.mp3"}));
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

} // namespace
} // namespace halvix
