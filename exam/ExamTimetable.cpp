#include "exam/ExamTimetable.h"

#include <chrono>

namespace halvix {

namespace {

// Second-day subjects by kind, as subject indices (语文0 数学1 英语2 物理3 化学4 思品5 历史6 地理7 生物8).
bool onSecondDay(int kind, int subject) {
    switch (kind) {
    case 2:
    case 3:
        return subject == 3 || subject == 2 || subject == 4;
    case 4:
        return subject == 6 || subject == 2 || subject == 7 || subject == 3 || subject == 4;
    case 6:
        return subject == 8 || subject == 2 || subject == 7 || subject == 3 || subject == 4;
    default: // 1 and 5, the half-term exams
        return subject == 4;
    }
}

} // namespace

CalendarDate nextDay(const CalendarDate& date) {
    using namespace std::chrono;
    const year_month_day today{year{date.year}, month{static_cast<unsigned>(date.month)},
                               std::chrono::day{static_cast<unsigned>(date.day)}};
    const year_month_day tomorrow{sys_days{today} + days{1}};
    return {static_cast<int>(tomorrow.year()), static_cast<int>(static_cast<unsigned>(tomorrow.month())),
            static_cast<int>(static_cast<unsigned>(tomorrow.day()))};
}

int examDayOf(int kind, int subjectIndex) {
    return onSecondDay(kind, subjectIndex) ? 2 : 1;
}

std::array<CalendarDate, kSubjectCount> gridDates(int kind, const CalendarDate& examDate) {
    const CalendarDate secondDay = nextDay(examDate);
    std::array<CalendarDate, kSubjectCount> dates;
    for (std::size_t g = 0; g < dates.size(); ++g)
        dates[g] = examDayOf(kind, kGridSubjects[g]) == 2 ? secondDay : examDate;
    return dates;
}

std::vector<ExamSubject> timetableSubjects(const std::array<CalendarDate, kSubjectCount>& dates,
                                           const PresetTimes& times) {
    std::vector<ExamSubject> subjects(kSubjectCount);
    for (std::size_t g = 0; g < dates.size(); ++g) {
        const auto index = static_cast<std::size_t>(kGridSubjects[g]);
        const PresetTime& start = times[2 * g];
        const PresetTime& end = times[2 * g + 1];
        subjects[index] = {std::string(kSubjectNames[index]),
                           dates[g].month,
                           dates[g].day,
                           start.hour,
                           start.minute,
                           end.hour,
                           end.minute};
    }
    return subjects;
}

} // namespace halvix
