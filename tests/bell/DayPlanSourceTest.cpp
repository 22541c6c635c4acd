// The plan the program loads for a date: the school calendar over the stored choices, and a load
// the database refuses reported once per date unless the user asks again.
#include "bell/DayPlanSource.h"
#include "bell/DayPlanSelector.h"
#include "calendar/CalendarStore.h"
#include "store/ScheduleDatabase.h"
#include "support/DatabaseFaults.h"
#include "support/FakeClock.h"
#include "support/RecordingSink.h"
#include "support/ScheduleFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace halvix {
namespace {

CalendarEntry entry(CivilDate start, CivilDate end, CalendarType type, int weekday, const char* note) {
    return {start, end, type, weekday, note};
}

// One entry per plan table, named after the table; Monday is the first school day, Friday the
// last; stored: 日常, 春季. The calendar: the autumn term, a national holiday, a make-up Sunday,
// an exam week with a sports day inside it.
struct CalendarSchool {
    CalendarSchool() {
        db.writeWeekFile("115");
        for (const char* table :
             {"cjtime", "zccjtime", "qjtime", "zcqjtime", "fridtime", "kscjtime", "ksqjtime", "sundaytime"})
            db.insertPlan(table, {{"", "", "08:00", table, "上课.mp3", "待完", ""}});
        test::RecordingSink sink;
        const bool saved =
            saveCalendar(db.folder(),
                         {entry({2027, 9, 1}, {2028, 1, 20}, CalendarType::Autumn, 0, "秋季学期"),
                          entry({2027, 10, 1}, {2027, 10, 7}, CalendarType::Silent, 0, "国庆节"),
                          entry({2027, 9, 26}, {2027, 9, 26}, CalendarType::MakeUp, 1, "补国庆"),
                          entry({2027, 11, 8}, {2027, 11, 12}, CalendarType::Exam, 0, "期中考试"),
                          entry({2027, 11, 10}, {2027, 11, 10}, CalendarType::Silent, 0, "运动会")},
                         sink);
        EXPECT_TRUE(saved);
    }
    test::ScheduleFixture db;
};

TEST(DayPlanSource, TheCalendarDecidesTheDatesPlan) {
    CalendarSchool school;
    DayPlanSource source(school.db.folder());
    source.choose(kDailyDay, kSpring);
    const struct {
        CivilDate date;
        const char* table; // the one event loaded; empty: silent
        const char* line;
    } cases[] = {
        {{2027, 8, 25}, "zccjtime", "今日: 星期三, 日常, 春季"},          // before the term: stored
        {{2027, 9, 20}, "qjtime", "今日: 星期一, 日常, 秋季 (秋季学期)"}, // first day, autumn
        {{2027, 9, 22}, "zcqjtime", nullptr},
        {{2027, 9, 24}, "fridtime", nullptr},
        {{2027, 9, 19}, "sundaytime", nullptr}, // a plain Sunday
        {{2027, 9, 26}, "qjtime", "今日: 调休, 按星期一 (补国庆), 日常, 秋季 (秋季学期)"},
        {{2027, 10, 3}, "", "今日: 停铃 (国庆节)"},
        {{2027, 11, 9}, "ksqjtime", nullptr},                                // exam week, autumn
        {{2027, 11, 13}, "zcqjtime", "今日: 星期六, 日常, 秋季 (秋季学期)"}, // after the exam week
        {{2027, 11, 10}, "", "今日: 停铃 (运动会)"},                         // silent inside the exam week
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(dateText(c.date));
        DayPlan plan;
        const LoadResult result =
            source.loadDayPlan(plan, test::dateTime(c.date.year, c.date.month, c.date.day, 7));
        ASSERT_EQ(result, LoadResult::Loaded);
        if (*c.table) {
            ASSERT_EQ(plan.size(), 1);
            EXPECT_EQ(plan[0].event, c.table);
            EXPECT_FALSE(source.decision().silent);
        } else {
            // Silent: nothing to ring, the columns still there, the rows it would have rung aside.
            EXPECT_EQ(plan.size(), 0);
            EXPECT_EQ(plan.titles().size(), 7u);
            EXPECT_TRUE(source.decision().silent);
            EXPECT_EQ(source.silencedPlan().size(), 1);
        }
        if (c.line) {
            EXPECT_EQ(todayLine(source.decision()), c.line);
        }
    }
}

TEST(DayPlanSource, ARefusedLoadIsReportedOncePerDateUnlessTheUserAsks) {
    CalendarSchool school;
    DayPlanSource source(school.db.folder());
    const auto monday = test::dateTime(2027, 9, 20, 9);
    const auto tuesday = test::dateTime(2027, 9, 21, 1, 1);
    DayPlan plan;
    ASSERT_EQ(source.loadDayPlan(plan, monday), LoadResult::Loaded);
    const auto stored = test::readFile(school.db.database());
    std::filesystem::remove(school.db.database());

    const struct {
        LocalTime when;
        bool userAsks;
        std::size_t notices;
    } loads[] = {
        {monday, true, 1},                      // the user's reload: its reason
        {monday, false, 0},                     // the retries of the same date stay quiet
        {monday, false, 0},  {monday, true, 1}, // the user asks again
        {tuesday, false, 1},                    // the night's reload of a new date
        {tuesday, false, 0},
    };
    for (const auto& load : loads) {
        if (load.userAsks)
            source.reportNextFailure();
        EXPECT_EQ(source.loadDayPlan(plan, load.when), LoadResult::Failed);
        const auto notices = source.takeNotices();
        ASSERT_EQ(notices.size(), load.notices);
        if (!notices.empty()) {
            // It was there at the first load: gone since, it is lost.
            EXPECT_TRUE(notices[0].text.starts_with("数据库已丢失! ")) << notices[0].text;
        }
        EXPECT_EQ(plan.size(), 1); // the plan stays as it was
    }

    // Back, and failing again later: a new failure is worth a word.
    test::writeFile(school.db.database(), stored);
    EXPECT_EQ(source.loadDayPlan(plan, tuesday), LoadResult::Loaded);
    std::filesystem::remove(school.db.database());
    EXPECT_EQ(source.loadDayPlan(plan, tuesday), LoadResult::Failed);
    EXPECT_EQ(source.takeNotices().size(), 1u);
}

// Started while another program holds the database: the stored 秋季 cannot be read, and no plan is
// loaded on the default 春季 until it can, whether the start, a retry or the night asks.
TEST(DayPlanSource, AChoiceTheDatabaseRefusedIsReadBeforeAnyPlan) {
    CalendarSchool school;
    school.db.run("delete from jjtime; insert into jjtime values ('2');");
    const auto beforeTheTerm = test::dateTime(2027, 8, 25, 9); // the calendar says nothing
    const DatabaseWaitLimit shortWaits(10);
    DayPlanSource source(school.db.folder());
    DayPlan plan;
    {
        test::LockingProcess lock(school.db.database());
        ASSERT_TRUE(lock.locked());
        test::RecordingSink startSink;
        source.useStoredChoice(startSink);
        ASSERT_FALSE(startSink.messages.empty());
        EXPECT_NE(startSink.messages[0].text.find("占用"), std::string::npos) << startSink.messages[0].text;
        for (int load = 0; load < 2; ++load)
            EXPECT_EQ(source.loadDayPlan(plan, beforeTheTerm), LoadResult::Failed);
        // The start said why; the loads that fail for that reason say it no second time.
        EXPECT_TRUE(source.takeNotices().empty());
        source.reportNextFailure(); // unless the user asks
        EXPECT_EQ(source.loadDayPlan(plan, beforeTheTerm), LoadResult::Failed);
        const auto notices = source.takeNotices();
        ASSERT_FALSE(notices.empty());
        EXPECT_NE(notices[0].text.find("占用"), std::string::npos) << notices[0].text;
    }
    ASSERT_EQ(source.loadDayPlan(plan, beforeTheTerm), LoadResult::Loaded);
    ASSERT_EQ(plan.size(), 1);
    EXPECT_EQ(plan[0].event, "zcqjtime");
    EXPECT_EQ(source.season(), kAutumn);
}

// A save reloads the plan only when it wrote what the latest load read: the day's table (both of an
// exam day), or the school week, which decides the table; anything after a failed load.
TEST(DayPlanSource, ASaveMattersWhenTheLatestLoadReadWhatItWrote) {
    CalendarSchool school;
    DayPlanSource source(school.db.folder());
    source.choose(kDailyDay, kSpring);
    const std::vector<std::string> written = {"cjtime",   "zccjtime", "qjtime", "zcqjtime",   "fridtime",
                                              "kscjtime", "ksqjtime", "sjtime", "sundaytime", "settable"};
    const struct {
        CivilDate date;
        std::vector<std::string> read;
    } cases[] = {
        {{2027, 8, 25}, {"zccjtime"}},           // stored 日常, 春季
        {{2027, 9, 20}, {"qjtime"}},             // the first school day of the autumn term
        {{2027, 9, 24}, {"fridtime"}},           // the last
        {{2027, 9, 19}, {"sundaytime"}},         // the day before the first
        {{2027, 9, 26}, {"qjtime"}},             // a make-up Sunday rung as a Monday
        {{2027, 11, 9}, {"sjtime", "ksqjtime"}}, // an exam day: the generated plan and the term's entries
        {{2027, 10, 5}, {"zcqjtime"}},           // silent: what it would ring is still read
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(dateText(c.date));
        DayPlan plan;
        ASSERT_EQ(source.loadDayPlan(plan, test::dateTime(c.date.year, c.date.month, c.date.day, 7)),
                  LoadResult::Loaded);
        for (const std::string& table : written) {
            const bool read = std::find(c.read.begin(), c.read.end(), table) != c.read.end();
            EXPECT_EQ(source.readsAnyOf({table}), read) << table;
            EXPECT_EQ(source.readsAnyOf({"settable", table}), read) << table << " among others";
        }
        EXPECT_TRUE(source.readsAnyOf({"xqno.txt"})) << "the week decides the table";
        EXPECT_FALSE(source.readsAnyOf({})) << "nothing saved";
    }
    std::filesystem::remove(school.db.database());
    DayPlan plan;
    ASSERT_EQ(source.loadDayPlan(plan, test::dateTime(2027, 8, 25, 8)), LoadResult::Failed);
    EXPECT_TRUE(source.readsAnyOf({"settable"})) << "a plan that could not be read is read again";
}

// A folder that had no database at the first load has lost none; one that goes later has.
TEST(DayPlanSource, NoDatabaseYetIsNotALostOne) {
    CalendarSchool school;
    const auto stored = test::readFile(school.db.database());
    std::filesystem::remove(school.db.database());
    DayPlanSource source(school.db.folder());
    DayPlan plan;
    const auto monday = test::dateTime(2027, 8, 23, 7);
    ASSERT_EQ(source.loadDayPlan(plan, monday), LoadResult::Failed);
    auto notices = source.takeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].text, "还没有数据库: 文件夹 " + school.db.folder().string() +
                                   " 中没有 jbase.mdb, 请从备份恢复, 或复制安装的默认数据库 "
                                   "/usr/share/halvix/jbase.mdb 到此文件夹。");
    EXPECT_EQ(notices[0].icon, MessageIcon::Critical);

    test::writeFile(school.db.database(), stored);
    ASSERT_EQ(source.loadDayPlan(plan, monday), LoadResult::Loaded);
    std::filesystem::remove(school.db.database());
    source.reportNextFailure();
    ASSERT_EQ(source.loadDayPlan(plan, monday), LoadResult::Failed);
    notices = source.takeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_TRUE(notices[0].text.starts_with("数据库已丢失! 文件夹 ")) << notices[0].text;
}

} // namespace
} // namespace halvix
