#pragma once

#include "calendar/CalendarEntry.h"
#include "time/CivilDate.h"
#include "time/LocalTime.h"

#include <string>
#include <vector>

namespace halvix {

// One value of a day's plan and where it came from.
struct DecidedValue {
    int value = 0;
    // Index of the deciding entry in the list handed to decideDay; -1 when the value is the stored
    // default (day type, term) or the date's own weekday.
    int entry = -1;
    std::string note; // the deciding entry's note

    bool byCalendar() const { return entry >= 0; }
    bool operator==(const DecidedValue&) const = default;
};

// How the school calendar decides a date's plan.
//
// Feeding the plan selection: unless `silent`, load the plan with
//     choosePlanQuery(decision.dayType.value, decision.season.value, decision.planTime(now), week)
// (or loadDayPlan with the same three values). planTime keeps the date, so the exam rows of the
// date are found, and gives the weekday the calendar chose, so the day tables and the Sunday rule
// follow a 调休 day. When `silent`, the day's plan is empty: nothing rings.
struct DayDecision {
    CivilDate date;
    int ownWeekday = 1; // the date's weekday, 1 Monday .. 7 Sunday

    bool silent = false;
    int silentEntry = -1; // index of the 停铃 entry when silent
    std::string silentNote;

    DecidedValue dayType; // 1 日常, 2 考试
    DecidedValue season;  // 1 春季, 2 秋季
    DecidedValue weekday; // 1 .. 7: a 调休 entry's weekday, else ownWeekday

    // `now` with the weekday the calendar chose; date and time unchanged.
    LocalTime planTime(LocalTime now) const {
        now.weekday = weekday.value;
        return now;
    }
    bool operator==(const DayDecision&) const = default;
};

// The plan of `date`:
// - a 停铃 entry covering the date makes it silent;
// - day type: a 考试/日常 entry covering the date, else storedDayType;
// - term: a 春季/秋季 entry covering the date, else storedSeason;
// - weekday: a 调休 entry covering the date, else the date's own weekday.
// Where several entries of one kind cover the date, the one with the shortest range wins; of equal
// ranges, the later one in `entries`. The values are decided also on a silent date, so that a
// window can show what the date would be.
DayDecision decideDay(const CivilDate& date, int storedDayType, int storedSeason,
                      const std::vector<CalendarEntry>& entries);
inline DayDecision decideDay(const LocalTime& now, int storedDayType, int storedSeason,
                             const std::vector<CalendarEntry>& entries) {
    return decideDay(dateOf(now), storedDayType, storedSeason, entries);
}

// The decision in words, e.g. "停铃 (国庆节)", "调休, 按星期一, 日常, 春季",
// "星期三, 考试 (期中考试), 秋季". A value the calendar decided carries its entry's note in brackets.
std::string decisionText(const DayDecision& decision);
// The main window's line: "今日: " followed by decisionText.
std::string todayLine(const DayDecision& decision);
// One line for a chosen date with the reasons: the date, its weekday, and for every value whether
// it is the stored default or which row of `entries` decided it (rows counted from 1), e.g.
// "2024-10-08 星期二: 考试 (期中考试, 第3行 2024-10-08 至 2024-10-10), 秋季 (默认)".
std::string decisionReasons(const DayDecision& decision, const std::vector<CalendarEntry>& entries);

} // namespace halvix
