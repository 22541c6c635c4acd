#include "time/ClockText.h"

#include "common/NumberText.h"
#include "time/CivilDate.h"
#include "time/LocalTime.h"

#include <climits>
#include <string>

namespace halvix {

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
