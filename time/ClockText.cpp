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

std::optional<EntryTime> readTableTimeText(std::string_view text) {
    // "8:45" and "8:45:00" are "08:45" and "08:45:00" with the leading zero left out.
    if (text.size() > 1 && text[1] == ':')
        return readEntryTimeText("0" + std::string(text));
    return readEntryTimeText(text);
}

std::string entryTimeText(const EntryTime& time) {
    char text[9];
    const auto digits = [&text](std::size_t at, int value) {
        text[at] = static_cast<char>('0' + value / 10);
        text[at + 1] = static_cast<char>('0' + value % 10);
    };
    digits(0, time.hour);
    text[2] = ':';
    digits(3, time.minute);
    if (time.minutePrecision)
        return std::string(text, 5);
    text[5] = ':';
    digits(6, time.second);
    return std::string(text, 8);
}

long long dayNumber(const LocalTime& time) {
    return dayNumber(dateOf(time));
}

long long wallSecond(const LocalTime& time) {
    return dayNumber(time) * kSecondsPerDay + time.secondOfDay();
}

} // namespace halvix
