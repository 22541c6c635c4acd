#include "time/ClockText.h"
#include "support/FakeClock.h"
#include "time/LocalTime.h"

#include <gtest/gtest.h>

namespace halvix {
namespace {

using test::dateTime;
using test::localTimeAt;

TEST(ClockText, EntryTimesAreHhMmOrHhMmSsOnly) {
    struct Case {
        const char* text;
        int secondOfDay; // -1: not an entry time
        bool minutePrecision;
    } cases[] = {
        {"00:00", 0, true},
        {"08:05", 29100, true},
        {"23:59", 86340, true},
        {"08:05:09", 29109, false},
        {"23:59:59", 86399, false},
        {"00:00:00", 0, false},
        {"8:05", -1, false},
        {"8:05:00", -1, false},
        {"08:5", -1, false},
        {"24:00", -1, false},
        {"08:60", -1, false},
        {"08:00:60", -1, false},
        {"08-00", -1, false},
        {"ab:cd", -1, false},
        {" 8:00", -1, false},
        {"08:00 ", -1, false},
        {"08:00:0", -1, false},
        {"08:00:000", -1, false},
        {"", -1, false},
        {"-1:00", -1, false},
        {"08:0x:00", -1, false},
    };
    for (const auto& c : cases) {
        const auto time = readEntryTimeText(c.text);
        if (c.secondOfDay < 0) {
            EXPECT_FALSE(time) << c.text;
            continue;
        }
        ASSERT_TRUE(time) << c.text;
        EXPECT_EQ(time->secondOfDay(), c.secondOfDay) << c.text;
        EXPECT_EQ(time->minutePrecision, c.minutePrecision) << c.text;
    }
}

TEST(ClockText, TableTimesTakeASpreadsheetsOneDigitHour) {
    const struct {
        const char* text;
        const char* stored; // nullptr: not a time
    } cases[] = {
        {"8:45", "08:45"},    {"8:45:00", "08:45:00"},  {"0:00", "00:00"},  {"9:59:59", "09:59:59"},
        {"08:45", "08:45"},   {"23:59:30", "23:59:30"}, {"8:5", nullptr},   {"8:60", nullptr},
        {"8:45:60", nullptr}, {"25:00", nullptr},       {"24:00", nullptr}, {"", nullptr},
        {"8", nullptr},       {"8:", nullptr},          {":45", nullptr},   {" 8:45", nullptr},
        {"8:45 ", nullptr},   {"8:4a", nullptr},        {"8.45", nullptr},  {"008:45", nullptr},
        {"8:45:0", nullptr},  {"x:45", nullptr},        {"-8:45", nullptr}, {"8:045", nullptr},
    };
    for (const auto& c : cases) {
        const auto time = readTableTimeText(c.text);
        ASSERT_EQ(bool(time), c.stored != nullptr) << c.text;
        if (time) {
            EXPECT_EQ(entryTimeText(*time), c.stored) << c.text;
        }
    }
}

TEST(ClockText, EveryTimeOfDayReadsTheSameWithOrWithoutTheHoursLeadingZero) {
    for (int second = 0; second < kSecondsPerDay; second += 7) {
        for (const bool minutes : {true, false}) {
            EntryTime written{second / 3600, second / 60 % 60, minutes ? 0 : second % 60, minutes};
            const std::string text = entryTimeText(written);
            const auto read = readEntryTimeText(text);
            ASSERT_TRUE(read) << text;
            EXPECT_EQ(read->secondOfDay(), written.secondOfDay()) << text;
            const auto typed = readTableTimeText(written.hour < 10 ? text.substr(1) : text);
            ASSERT_TRUE(typed) << text;
            EXPECT_EQ(entryTimeText(*typed), text);
        }
    }
}

TEST(ClockText, DayNumbersAndWallSeconds) {
    EXPECT_EQ(dayNumber(dateTime(1970, 1, 1)), 0);
    EXPECT_EQ(dayNumber(dateTime(1969, 12, 31)), -1);
    EXPECT_EQ(dayNumber(dateTime(2000, 3, 1)), 11017);
    EXPECT_EQ(dayNumber(dateTime(2024, 3, 1)) - dayNumber(dateTime(2024, 2, 29)), 1);
    EXPECT_EQ(dayNumber(dateTime(2023, 3, 1)) - dayNumber(dateTime(2023, 2, 28)), 1);
    EXPECT_EQ(dayNumber(dateTime(2024, 1, 1)) - dayNumber(dateTime(2023, 12, 31)), 1);
    EXPECT_EQ(dayNumber(dateTime(2101, 1, 1)) - dayNumber(dateTime(2100, 1, 1)), 365); // 2100 is no leap year
    EXPECT_EQ(wallSecond(dateTime(2024, 5, 7, 0, 0, 0)) - wallSecond(dateTime(2024, 5, 6, 23, 59, 59)), 1);
    // Every day from 1559 to 2380 as the standard library's calendar has it.
    for (long long day = -150000; day <= 150000; ++day) {
        const LocalTime t = localTimeAt(day * kSecondsPerDay + 3661);
        ASSERT_EQ(dayNumber(t), day) << t.year << "-" << t.month << "-" << t.day;
        ASSERT_EQ(wallSecond(t), day * kSecondsPerDay + 3661) << t.year << "-" << t.month << "-" << t.day;
    }
}

} // namespace
} // namespace halvix
