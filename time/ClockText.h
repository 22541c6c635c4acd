#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace halvix {

struct LocalTime;

inline constexpr int kSecondsPerDay = 24 * 3600;

// The time of a plan entry: "HH:MM" (the whole minute) or "HH:MM:SS", two digits each, 24-hour.
struct EntryTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool minutePrecision = false; // written as HH:MM

    int secondOfDay() const { return hour * 3600 + minute * 60 + second; }
};
// The entry time written in `text`, or nothing for any other text (wrong length, a non-digit,
// hour above 23, minute or second above 59). Such an entry never rings.
std::optional<EntryTime> readEntryTimeText(std::string_view text);
// A time typed into a table file: an entry time, or one with a one-digit hour as spreadsheets
// write it ("8:45", "8:45:00"). Nothing for any other text.
std::optional<EntryTime> readTableTimeText(std::string_view text);
// The entry time text of `time`: "HH:MM" when minutePrecision, otherwise "HH:MM:SS".
std::string entryTimeText(const EntryTime& time);

// Days from 1970-01-01 to the date of `time` (proleptic Gregorian calendar).
long long dayNumber(const LocalTime& time);
// Seconds from 1970-01-01 00:00:00 to `time`, both read as local wall-clock times.
long long wallSecond(const LocalTime& time);

} // namespace halvix
