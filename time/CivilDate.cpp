#include "time/CivilDate.h"

#include "common/NumberText.h"
#include "time/LocalTime.h"

#include <array>
#include <cstdio>

namespace halvix {

namespace {

constexpr std::array<std::string_view, 7> kWeekdayNames = {
    "星期一", "星期二", "星期三", "星期四", "星期五", "星期六", "星期日",
};

// Reads minDigits..maxDigits decimal digits at `at`, moving past them.
std::optional<int> readDigits(std::string_view text, std::size_t& at, std::size_t minDigits,
                              std::size_t maxDigits) {
    int value = 0;
    std::size_t count = 0;
    while (at < text.size() && count < maxDigits && text[at] >= '0' && text[at] <= '9') {
        value = value * 10 + (text[at] - '0');
        ++at;
        ++count;
    }
    if (count < minDigits)
        return std::nullopt;
    return value;
}

} // namespace

CivilDate dateOf(const LocalTime& time) {
    return {time.year, time.month, time.day};
}

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

bool isRealDate(const CivilDate& date) {
    return date.day >= 1 && date.day <= daysInMonth(date.year, date.month);
}

long long dayNumber(const CivilDate& date) {
    // Civil date to a day count (H. Hinnant's days_from_civil).
    const long long y = static_cast<long long>(date.year) - (date.month <= 2 ? 1 : 0);
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yearOfEra = y - era * 400;
    const long long month = date.month;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

CivilDate dateFromDayNumber(long long days) {
    // The inverse (H. Hinnant's civil_from_days).
    const long long z = days + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long dayOfEra = z - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long mp = (5 * dayOfYear + 2) / 153;
    const long long day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const long long month = mp < 10 ? mp + 3 : mp - 9;
    const long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return {static_cast<int>(year), static_cast<int>(month), static_cast<int>(day)};
}

int weekdayOf(const CivilDate& date) {
    // 1970-01-01 was a Thursday (4).
    const long long shifted = (dayNumber(date) + 3) % 7;
    return static_cast<int>(shifted < 0 ? shifted + 7 : shifted) + 1;
}

std::string dateText(const CivilDate& date) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", date.year, date.month, date.day);
    return buffer;
}

std::optional<CivilDate> readDateText(std::string_view text) {
    text = trimBlanks(text);
    std::size_t at = 0;
    const auto year = readDigits(text, at, 4, 4);
    if (!year || at >= text.size() || (text[at] != '-' && text[at] != '/'))
        return std::nullopt;
    const char separator = text[at++];
    const auto month = readDigits(text, at, 1, 2);
    if (!month || at >= text.size() || text[at] != separator)
        return std::nullopt;
    ++at;
    const auto day = readDigits(text, at, 1, 2);
    if (!day || at != text.size())
        return std::nullopt;
    const CivilDate date{*year, *month, *day};
    if (!isRealDate(date))
        return std::nullopt;
    return date;
}

std::string_view weekdayName(int weekday) {
    return weekday >= 1 && weekday <= 7 ? kWeekdayNames[static_cast<std::size_t>(weekday - 1)]
                                        : std::string_view();
}

} // namespace halvix
