#include "exam/ExamTimetable.h"

#include <gtest/gtest.h>

#include <set>

namespace halvix {
namespace {

TEST(ExamTimetable, NextDayCrossesMonthsYearsAndLeapDays) {
    struct Case {
        CalendarDate from, to;
    } cases[] = {
        {{2026, 6, 18}, {2026, 6, 19}}, {{2026, 6, 30}, {2026, 7, 1}}, {{2026, 12, 31}, {2027, 1, 1}},
        {{2028, 2, 28}, {2028, 2, 29}}, {{2027, 2, 28}, {2027, 3, 1}}, {{2100, 2, 28}, {2100, 3, 1}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(nextDay(c.from), c.to) << c.from.year << '-' << c.from.month << '-' << c.from.day;
}

TEST(ExamTimetable, EachKindPutsItsSubjectsOnTheTwoDays) {
    // Second-day subjects by kind.
    const std::map<int, std::set<std::string_view>> secondDay = {
        {1, {"化学"}},
        {2, {"物理", "英语", "化学"}},
        {3, {"物理", "英语", "化学"}},
        {4, {"历史", "英语", "地理", "物理", "化学"}},
        {5, {"化学"}},
        {6, {"生物", "英语", "地理", "物理", "化学"}},
    };
    const CalendarDate first{2026, 12, 31};
    const CalendarDate second{2027, 1, 1};
    for (const auto& [kind, names] : secondDay) {
        const auto dates = gridDates(kind, first);
        for (std::size_t g = 0; g < dates.size(); ++g) {
            const auto name = kSubjectNames[static_cast<std::size_t>(kGridSubjects[g])];
            EXPECT_EQ(dates[g], names.contains(name) ? second : first) << "kind " << kind << ' ' << name;
        }
    }
}

TEST(ExamTimetable, GridPositionsMapToSubjectsInGenerationOrder) {
    std::array<CalendarDate, kSubjectCount> dates;
    PresetTimes times;
    for (int g = 0; g < kSubjectCount; ++g) {
        dates[static_cast<std::size_t>(g)] = {2026, 6, 10 + g};
        times[static_cast<std::size_t>(2 * g)] = {8 + g, g};
        times[static_cast<std::size_t>(2 * g + 1)] = {9 + g, 30 + g};
    }
    const auto subjects = timetableSubjects(dates, times);
    // Grid: 语文 思品 / 数学 历史 / 英语 地理 / 物理 生物 / 化学.
    const std::map<std::string, int> gridOf = {{"语文", 0}, {"思品", 1}, {"数学", 2},
                                               {"历史", 3}, {"英语", 4}, {"地理", 5},
                                               {"物理", 6}, {"生物", 7}, {"化学", 8}};
    ASSERT_EQ(subjects.size(), 9u);
    for (std::size_t i = 0; i < subjects.size(); ++i) {
        const ExamSubject& s = subjects[i];
        EXPECT_EQ(s.name, kSubjectNames[i]);
        const int g = gridOf.at(s.name);
        EXPECT_EQ(s.day, 10 + g) << s.name;
        EXPECT_EQ(s.startHour, 8 + g) << s.name;
        EXPECT_EQ(s.startMinute, g) << s.name;
        EXPECT_EQ(s.endHour, 9 + g) << s.name;
        EXPECT_EQ(s.endMinute, 30 + g) << s.name;
    }
}

} // namespace
} // namespace halvix
