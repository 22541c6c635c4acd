#pragma once

#include "exam/ExamPlan.h"
#include "exam/PresetFile.h"

#include <array>
#include <vector>

namespace halvix {

// The timetable grid shows the subjects row by row, two to a row: 语文 思品 / 数学 历史 / 英语 地理 /
// 物理 生物 / 化学. Entry g is the subject (index into kSubjectNames) at grid position g.
inline constexpr std::array<int, kSubjectCount> kGridSubjects = {0, 5, 1, 6, 2, 7, 3, 8, 4};

struct CalendarDate {
    int year = 2000;
    int month = 1;
    int day = 1;

    bool operator==(const CalendarDate&) const = default;
};

// The calendar day after `date`, across month and year ends.
CalendarDate nextDay(const CalendarDate& date);

// On which of the two exam days (1 or 2) a kind examines the subject at `subjectIndex`.
int examDayOf(int kind, int subjectIndex);

// The date of every grid position when the exams of `kind` begin on `examDate`.
std::array<CalendarDate, kSubjectCount> gridDates(int kind, const CalendarDate& examDate);

// The subjects in generation order from the grid's dates and its preset times.
std::vector<ExamSubject> timetableSubjects(const std::array<CalendarDate, kSubjectCount>& gridDates,
                                           const PresetTimes& times);

} // namespace halvix
