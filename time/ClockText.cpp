#include "time/ClockText.h"

#include "common/NumberText.h"
#include "time/CivilDate.h"
#include "time/LocalTime.h"

#include <climits>
#include <string>

namespace halvix {

bool parseHm(std::string_view text, int& first, int& second) {
    if (text.empty())
        return false;
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        first = 0;
        second = readNumber(text);
        return true;
    }
    first = readNumber(text.substr(0, colon));
    second = readNumber(text.substr(colon + 1));
    return true;
}

bool parseHms(std::string_view text, int& hour, int& minute, int& second) {
    if (text.empty())
        return false;
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        hour = 0;
        parseHm(text, minute, second);
        return true;
    }
    hour = readNumber(text.substr(0, colon));
    parseHm(text.substr(colon + 1), minute, second);
    return true;
}

int secondsBetween(std::string_view from, std::string_view to) {
    if (from.empty() || to.empty())
        return -1;
    std::string target(to);
    if (target.size() < 6)
        target += ":00";
    int h1 = 0, m1 = 0, s1 = 0, h2 = 0, m2 = 0, s2 = 0;
    parseHms(from, h1, m1, s1);
    parseHms(target, h2, m2, s2);
    // Numbers read from text saturate at the int range; the sum must not overflow.
    const long long seconds = (static_cast<long long>(h2) - h1) * 3600 +
                              (static_cast<long long>(m2) - m1) * 60 + (static_cast<long long>(s2) - s1);
    if (seconds > INT_MAX)
        return INT_MAX;
    if (seconds < INT_MIN)
        return INT_MIN;
    return static_cast<int>(seconds);
}

namespace {

// Two decimal digits at `at`, or -1.
int twoDigits(std::string_view text, std::size_t at) {
    const char a = text[at];
    const char b = text[at + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9')
        return -1;
    return (a - '0') * 10 + (b - '0');
}

} // namespace

std::optional<EntryTime> readEntryTimeText(std::string_view text) {
    if (text.size() != 5 && text.size() != 8)
        return std::nullopt;
    EntryTime time;
    time.minutePrecision = text.size() == 5;
    time.hour = twoDigits(text, 0);
    time.minute = twoDigits(text, 3);
    if (text[2] != ':' || time.hour < 0 || time.hour > 23 || time.minute < 0 || time.minute > 59)
        return std::nullopt;
    if (!time.minutePrecision) {
        time.second = twoDigits(text, 6);
        if (text[5] != ':' || time.second < 0 || time.second > 59)
            return std::nullopt;
    }
    return time;
}

long long dayNumber(const LocalTime& time) {
    return dayNumber(dateOf(time));
}

long long wallSecond(const LocalTime& time) {
    return dayNumber(time) * kSecondsPerDay + time.secondOfDay();
}

} // namespace halvix
