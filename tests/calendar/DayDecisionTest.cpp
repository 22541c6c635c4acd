// What the school calendar decides for a date, and the plan query that decision leads to.
#include "calendar/DayDecision.h"
#include "bell/DayPlanSelector.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace halvix {
namespace {

CalendarEntry entry(const char* start, const char* end, CalendarType type, const char* note,
                    int weekday = 0) {
    return {*readDateText(start), *readDateText(end), type, weekday, note};
}

// One school year, in a deliberately unsorted order: the rules must not depend on it.
const std::vector<CalendarEntry> kYear = {
    entry("2024-07-01", "2024-08-31", CalendarType::Silent, "暑假"),
    entry("2024-09-01", "2025-01-31", CalendarType::Autumn, "秋季学期"),
    entry("2024-10-01", "2024-10-07", CalendarType::Silent, "国庆节"),
    entry("2024-09-29", "2024-09-29", CalendarType::MakeUp, "补国庆", 1),
    entry("2024-10-12", "2024-10-12", CalendarType::MakeUp, "补国庆", 5),
    entry("2024-11-07", "2024-11-12", CalendarType::Exam, "期中考试"),
    entry("2024-11-11", "2024-11-11", CalendarType::Silent, "运动会"),
    entry("2024-12-31", "2025-01-01", CalendarType::Silent, "元旦"),
    entry("2024-12-01", "2025-01-24", CalendarType::Exam, "考试月"),
    entry("2025-01-15", "2025-01-15", CalendarType::Daily, "补课"),
    entry("2025-01-13", "2025-01-17", CalendarType::Exam, "期末考试"),
    entry("2025-01-22", "2025-01-22", CalendarType::Daily, "调课A"),
    entry("2025-01-22", "2025-01-22", CalendarType::Exam, "调课B"),
    entry("2025-02-17", "2025-07-10", CalendarType::Spring, "春季学期"),
    // The longer range comes later: counting 29 February wrongly would make the two equal.
    entry("2024-03-01", "2024-03-02", CalendarType::Autumn, "三月"),
    entry("2024-02-28", "2024-03-01", CalendarType::Spring, "闰日"),
};

struct Case {
    const char* date;
    int storedDayType;
    int storedSeason;
    bool silent;
    int dayType;
    int season;
    int weekday;
    const char*
        table; // the table the plan query reads (first school day Monday, last Friday); "" when silent
    const char* line;
};

const Case kCases[] = {
    {"2024-02-29", 1, 2, false, 1, 1, 4, "zccjtime", "今日: 星期四, 日常, 春季 (闰日)"},
    {"2024-03-01", 1, 1, false, 1, 2, 5, "fridtime", "今日: 星期五, 日常, 秋季 (三月)"},
    {"2024-08-31", 1, 1, true, 1, 1, 6, "", "今日: 停铃 (暑假)"},
    // The first day after the vacation rings again, in the new term.
    {"2024-09-01", 1, 1, false, 1, 2, 7, "sundaytime", "今日: 星期日, 日常, 秋季 (秋季学期)"},
    {"2024-09-02", 1, 1, false, 1, 2, 1, "qjtime", "今日: 星期一, 日常, 秋季 (秋季学期)"},
    // A Sunday taught as Monday takes the Monday table, not the Sunday table.
    {"2024-09-29", 1, 1, false, 1, 2, 1, "qjtime", "今日: 调休, 按星期一 (补国庆), 日常, 秋季 (秋季学期)"},
    {"2024-10-07", 2, 1, true, 2, 2, 1, "", "今日: 停铃 (国庆节)"},
    {"2024-10-12", 1, 1, false, 1, 2, 5, "fridtime", "今日: 调休, 按星期五 (补国庆), 日常, 秋季 (秋季学期)"},
    // The exam week runs through the weekend; its Sunday keeps the Sunday rule.
    {"2024-11-07", 1, 1, false, 2, 2, 4, "ksqjtime", "今日: 星期四, 考试 (期中考试), 秋季 (秋季学期)"},
    {"2024-11-09", 1, 1, false, 2, 2, 6, "ksqjtime", "今日: 星期六, 考试 (期中考试), 秋季 (秋季学期)"},
    {"2024-11-10", 1, 1, false, 2, 2, 7, "sundaytime", "今日: 星期日, 考试 (期中考试), 秋季 (秋季学期)"},
    {"2024-11-11", 1, 1, true, 2, 2, 1, "", "今日: 停铃 (运动会)"},
    {"2024-11-12", 1, 1, false, 2, 2, 2, "ksqjtime", "今日: 星期二, 考试 (期中考试), 秋季 (秋季学期)"},
    {"2024-11-13", 1, 1, false, 1, 2, 3, "zcqjtime", "今日: 星期三, 日常, 秋季 (秋季学期)"},
    // Year end.
    {"2024-12-30", 1, 1, false, 2, 2, 1, "ksqjtime", "今日: 星期一, 考试 (考试月), 秋季 (秋季学期)"},
    {"2024-12-31", 1, 1, true, 2, 2, 2, "", "今日: 停铃 (元旦)"},
    {"2025-01-01", 1, 1, true, 2, 2, 3, "", "今日: 停铃 (元旦)"},
    {"2025-01-02", 1, 1, false, 2, 2, 4, "ksqjtime", "今日: 星期四, 考试 (考试月), 秋季 (秋季学期)"},
    // Nested ranges: the shortest one covering the date decides.
    {"2025-01-14", 1, 1, false, 2, 2, 2, "ksqjtime", "今日: 星期二, 考试 (期末考试), 秋季 (秋季学期)"},
    {"2025-01-15", 2, 1, false, 1, 2, 3, "zcqjtime", "今日: 星期三, 日常 (补课), 秋季 (秋季学期)"},
    {"2025-01-20", 1, 1, false, 2, 2, 1, "ksqjtime", "今日: 星期一, 考试 (考试月), 秋季 (秋季学期)"},
    // Equal ranges: the later row.
    {"2025-01-22", 1, 1, false, 2, 2, 3, "ksqjtime", "今日: 星期三, 考试 (调课B), 秋季 (秋季学期)"},
    // Between the terms the stored values hold; the spring term starts by date.
    {"2025-02-16", 1, 2, false, 1, 2, 7, "sundaytime", "今日: 星期日, 日常, 秋季"},
    {"2025-02-17", 1, 2, false, 1, 1, 1, "cjtime", "今日: 星期一, 日常, 春季 (春季学期)"},
};

TEST(DayDecision, DecidesEveryDateOfTheSchoolYear) {
    const WeekDays week{1, 5};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.date);
        const CivilDate date = *readDateText(c.date);
        const DayDecision decision = decideDay(date, c.storedDayType, c.storedSeason, kYear);
        EXPECT_EQ(decision.silent, c.silent);
        EXPECT_EQ(decision.dayType.value, c.dayType);
        EXPECT_EQ(decision.season.value, c.season);
        EXPECT_EQ(decision.weekday.value, c.weekday);
        EXPECT_EQ(todayLine(decision), c.line);

        const LocalTime now{date.year, date.month, date.day, 7, 30, 0, weekdayOf(date)};
        const LocalTime planTime = decision.planTime(now);
        EXPECT_EQ(dateOf(planTime), date);
        EXPECT_EQ(planTime.secondOfDay(), now.secondOfDay());
        const std::string query =
            choosePlanQuery(decision.dayType.value, decision.season.value, planTime, week);
        if (!c.silent) {
            EXPECT_NE(query.find(std::string("from ") + c.table + " "), std::string::npos) << query;
        }
        if (c.table == std::string("ksqjtime")) {
            EXPECT_NE(
                query.find("日期='" + std::to_string(date.month) + "月" + std::to_string(date.day) + "日'"),
                std::string::npos)
                << "the exam rows of the date itself: " << query;
        }
    }
}

} // namespace
} // namespace halvix
