#include "bell/DayPlanSelector.h"

#include "store/TextTable.h"
#include "support/RecordingSink.h"
#include "support/ScheduleFixture.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace halvix {
namespace {

using test::RecordingSink;
using test::ScheduleFixture;

LocalTime day(int weekday, int month = 6, int dayOfMonth = 7) {
    LocalTime t;
    t.year = 2027;
    t.month = month;
    t.day = dayOfMonth;
    t.hour = 7;
    t.weekday = weekday;
    return t;
}

std::string tableOf(const std::string& query) {
    if (query.empty())
        return "";
    if (query.rfind("select * from sjtime", 0) == 0)
        return query.find("kscjtime") != std::string::npos ? "exam+kscjtime" : "exam+ksqjtime";
    const auto from = std::string("select * from ").size();
    return query.substr(from, query.find(' ', from) - from);
}

TEST(DayPlanSelector, WeekDigits) {
    struct Case {
        int number, first, last;
    } cases[] = {{1125, 1, 5},  {1256, 2, 6}, {0, 0, 0},     {32, 0, 2},
                 {11999, 9, 9}, {1307, 3, 7}, {-125, -1, -5}};
    for (const auto& c : cases) {
        const WeekDays w = weekDaysFromNumber(c.number);
        EXPECT_EQ(w.firstDay, c.first) << c.number;
        EXPECT_EQ(w.lastDay, c.last) << c.number;
    }
}

TEST(DayPlanSelector, ReadsTheWeekFileOrNothing) {
    ScheduleFixture fx;
    EXPECT_EQ(readWeekDays(fx.folder()).firstDay, 0) << "missing file: no day matches";
    fx.writeWeekFile("  1125\r\n999");
    EXPECT_EQ(readWeekDays(fx.folder()).firstDay, 1);
    EXPECT_EQ(readWeekDays(fx.folder()).lastDay, 5);
    fx.writeWeekFile("");
    EXPECT_EQ(readWeekDays(fx.folder()).lastDay, 0);
    fx.writeWeekFile("abc");
    EXPECT_EQ(readWeekDays(fx.folder()).firstDay, 0);
}

TEST(DayPlanSelector, DailyTablesByWeekdayAndTerm) {
    // Week 1256: Tuesday first, Saturday last, so Monday is the day before the first day (Sunday table).
    const char* spring[] = {"",         "sundaytime", "cjtime",   "zccjtime",
                            "zccjtime", "zccjtime",   "fridtime", "zccjtime"};
    const char* autumn[] = {"",         "sundaytime", "qjtime",   "zcqjtime",
                            "zcqjtime", "zcqjtime",   "fridtime", "zcqjtime"};
    for (int weekday = 1; weekday <= 7; ++weekday) {
        EXPECT_EQ(tableOf(choosePlanQuery(1, 1, day(weekday), {2, 6})), spring[weekday]) << weekday;
        EXPECT_EQ(tableOf(choosePlanQuery(1, 2, day(weekday), {2, 6})), autumn[weekday]) << weekday;
    }
}

TEST(DayPlanSelector, UsualWeekMondayToFriday) {
    const char* expected[] = {"",         "cjtime",   "zccjtime", "zccjtime",
                              "zccjtime", "fridtime", "zccjtime", "sundaytime"};
    for (int weekday = 1; weekday <= 7; ++weekday)
        EXPECT_EQ(tableOf(choosePlanQuery(1, 1, day(weekday), {1, 5})), expected[weekday]) << weekday;
}

TEST(DayPlanSelector, SundayTableComesFirstAndOnlyTheDayBefore) {
    for (int dayType : {1, 2})
        for (int season : {1, 2}) {
            EXPECT_EQ(tableOf(choosePlanQuery(dayType, season, day(7), {1, 5})), "sundaytime");
            EXPECT_EQ(tableOf(choosePlanQuery(dayType, season, day(2), {3, 5})), "sundaytime");
            EXPECT_NE(tableOf(choosePlanQuery(dayType, season, day(1), {1, 5})), "sundaytime");
        }
    EXPECT_EQ(tableOf(choosePlanQuery(7, 7, day(7), {1, 5})), "sundaytime")
        << "applies even with an unknown day type and term";
    EXPECT_EQ(tableOf(choosePlanQuery(1, 1, day(6), {7, 5})), "sundaytime")
        << "first day Sunday: Saturday before";
}

TEST(DayPlanSelector, SameFirstAndLastDayGivesTheLastDayTable) {
    EXPECT_EQ(tableOf(choosePlanQuery(1, 1, day(3), {3, 3})), "fridtime");
    EXPECT_EQ(tableOf(choosePlanQuery(1, 2, day(3), {3, 3})), "fridtime");
}

TEST(DayPlanSelector, DigitsThatNameNoWeekday) {
    for (int digit : {0, 8, 9})
        for (int weekday = 1; weekday <= 7; ++weekday)
            EXPECT_EQ(tableOf(choosePlanQuery(1, 1, day(weekday), {digit, digit})), "zccjtime")
                << digit << " " << weekday;
}

TEST(DayPlanSelector, ExamDaysJoinTodaysRowsWithTheTermTable) {
    EXPECT_EQ(
        choosePlanQuery(2, 1, day(3, 6, 7), {1, 5}),
        "select * from sjtime where 日期='6月7日'  union all select * from kscjtime  order by 时间 ASC");
    EXPECT_EQ(tableOf(choosePlanQuery(2, 2, day(3, 1, 5), {1, 5})), "exam+ksqjtime");
    EXPECT_NE(choosePlanQuery(2, 2, day(3, 1, 5), {1, 5}).find("'1月5日'"), std::string::npos);
    EXPECT_EQ(tableOf(choosePlanQuery(2, 1, day(5), {1, 5})), "exam+kscjtime")
        << "exam day wins over the last day";
}

TEST(DayPlanSelector, UnknownDayTypeOrTermChoosesNothing) {
    EXPECT_EQ(choosePlanQuery(0, 1, day(3), {1, 5}), "");
    EXPECT_EQ(choosePlanQuery(1, 3, day(3), {1, 5}), "");
    EXPECT_EQ(choosePlanQuery(2, 0, day(3), {1, 5}), "");
}

TEST(DayPlanSelector, LoadsNumberedRowsInTimeOrder) {
    ScheduleFixture fx;
    fx.writeWeekFile("1125");
    fx.insertPlan("zccjtime", {{"7", "", "08:00:30", "b", "b.mp3", "待完", ""},
                               {"9", "", "08:00", "a", "a.mp3", "完成", ""},
                               {"3", "", "07:55", "c", "c.mp3", "待完", ""}});
    RecordingSink sink;
    TextTable plan;
    ASSERT_EQ(loadDayPlan(fx.folder(), 1, 1, day(3), plan, sink), LoadResult::Loaded);
    ASSERT_EQ(plan.rowCount(), 3);
    EXPECT_EQ(plan.cell(0, 2), "07:55");
    EXPECT_EQ(plan.cell(1, 2), "08:00");
    EXPECT_EQ(plan.cell(2, 2), "08:00:30");
    EXPECT_EQ(plan.cell(0, 0), "1");
    EXPECT_EQ(plan.cell(2, 0), "3");
    EXPECT_EQ(plan.cell(1, 5), "完成") << "statuses come as stored";
    EXPECT_EQ(plan.names().at(2), "时间");
    EXPECT_TRUE(sink.messages.empty());
}

TEST(DayPlanSelector, ExamDayLoadsOnlyTodaysGeneratedRows) {
    ScheduleFixture fx;
    fx.insertPlan("sjtime", {{"1", "1月5日", "08:47", "组织进入考场", "h01.mp3", "待完", "语文"},
                             {"2", "01月05日", "08:50", "x", "x.mp3", "待完", ""},
                             {"3", "1月6日", "08:47", "y", "y.mp3", "待完", ""}});
    fx.insertPlan("ksqjtime", {{"1", "", "06:30", "起床", "起床.mp3", "待完", ""}});
    RecordingSink sink;
    TextTable plan;
    ASSERT_EQ(loadDayPlan(fx.folder(), 2, 2, day(2, 1, 5), plan, sink), LoadResult::Loaded);
    ASSERT_EQ(plan.rowCount(), 2);
    EXPECT_EQ(plan.cell(0, 3), "起床");
    EXPECT_EQ(plan.cell(1, 6), "语文");
}

TEST(DayPlanSelector, NothingToLoadKeepsTheListAsItWas) {
    ScheduleFixture fx;
    RecordingSink sink;
    TextTable plan;
    plan.fill({"a"}, {"yesterday"});
    EXPECT_EQ(loadDayPlan(fx.folder(), 1, 1, day(3), plan, sink), LoadResult::NoRows) << "empty table";
    EXPECT_EQ(loadDayPlan(fx.folder(), 5, 1, day(3), plan, sink), LoadResult::NoRows) << "unknown day type";
    EXPECT_EQ(plan.cell(0, 0), "yesterday");
    EXPECT_TRUE(sink.messages.empty());

    std::filesystem::remove(fx.database());
    EXPECT_EQ(loadDayPlan(fx.folder(), 1, 1, day(3), plan, sink), LoadResult::Failed);
    EXPECT_EQ(plan.cell(0, 0), "yesterday");
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_TRUE(sink.messages[0].text.starts_with("找不到数据库: ")) << sink.messages[0].text;
    EXPECT_EQ(sink.messages[0].icon, MessageIcon::Critical);
}

// A table whose rows cannot all be read (a damaged page part-way through) is a failed load,
// reported with the database's reason, never a day without rows.
TEST(DayPlanSelector, ATableDamagedPartWayThroughIsAFailedLoad) {
    ScheduleFixture fx;
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < 400; ++i)
        rows.push_back({"", "", "08:00", "第" + std::to_string(i) + "节 " + std::string(60, 'x'), "上课.mp3",
                        "待完", ""});
    fx.insertPlan("zccjtime", rows); // the table filled last owns the file's last pages
    std::string bytes = test::readFile(fx.database());
    const std::size_t pageSize =
        256 * static_cast<unsigned char>(bytes[16]) + static_cast<unsigned char>(bytes[17]);
    ASSERT_GT(bytes.size() / pageSize, 4u);
    bytes[bytes.size() - pageSize] = '\x00'; // the last leaf page is no page of a table any more
    test::writeFile(fx.database(), bytes);

    RecordingSink sink;
    TextTable plan;
    plan.fill({"a"}, {"yesterday"});
    EXPECT_EQ(loadDayPlan(fx.folder(), kDailyDay, kSpring, day(3), plan, sink), LoadResult::Failed);
    EXPECT_EQ(plan.cell(0, 0), "yesterday");
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_TRUE(sink.messages[0].text.starts_with("数据库查询失败:")) << sink.messages[0].text;
}

TEST(DayPlanSelector, DayTypeAndTermAreReadAndKeptAsOneRow) {
    ScheduleFixture fx;
    RecordingSink sink;
    fx.run("insert into lxtime values ('1'); update jjtime set 季节 = ' 2x';");
    EXPECT_EQ(readDayType(fx.folder(), sink), 1);
    EXPECT_EQ(fx.rows("select * from lxtime"), (std::vector<std::vector<std::string>>{{"1"}}));
    EXPECT_EQ(readSeason(fx.folder(), sink), 2);

    ASSERT_TRUE(writeDayType(fx.folder(), 2, sink));
    ASSERT_TRUE(writeSeason(fx.folder(), 2, sink));
    EXPECT_EQ(fx.rows("select * from lxtime"), (std::vector<std::vector<std::string>>{{"2"}}));
    EXPECT_EQ(fx.rows("select * from jjtime"), (std::vector<std::vector<std::string>>{{"2"}}));

    fx.run("delete from lxtime");
    EXPECT_EQ(readDayType(fx.folder(), sink), 1) << "an empty table reads as daily";
    std::filesystem::remove(fx.database());
    EXPECT_EQ(readSeason(fx.folder(), sink), 1) << "no database reads as spring";
    EXPECT_TRUE(sink.messages.empty());
}

} // namespace
} // namespace halvix
