#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace halvix {

struct LocalTime;

// A date of the proleptic Gregorian calendar, without a time of day.
struct CivilDate {
    int year = 1970;
    int month = 1;
    int day = 1;

    auto operator<=>(const CivilDate&) const = default;
};

CivilDate dateOf(const LocalTime& time);

bool isLeapYear(int year);
// 0 for a month outside 1..12.
int daysInMonth(int year, int month);
// Month 1..12 and a day that exists in that month (29 February in leap years only).
bool isRealDate(const CivilDate& date);

// Days from 1970-01-01; negative before it.
long long dayNumber(const CivilDate& date);
CivilDate dateFromDayNumber(long long days);
// 1 Monday .. 7 Sunday.
int weekdayOf(const CivilDate& date);
// 1 Monday .. 7 Sunday; any other number is no day.
inline bool isWeekday(int day) {
    return day >= 1 && day <= 7;
}

// "YYYY-MM-DD".
std::string dateText(const CivilDate& date);
// Four-digit year, then month and day of one or two digits, separated by "-" or "/" (spreadsheets
// rewrite 2024-10-01 as 2024/10/1); blanks around the text are ignored. Nothing for any other text
// or a date that does not exist.
std::optional<CivilDate> readDateText(std::string_view text);

// "星期一" .. "星期日" for 1..7, empty for any other number.
std::string_view weekdayName(int weekday);

} // namespace halvix
