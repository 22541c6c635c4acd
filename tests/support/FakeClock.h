#pragma once

#include "time/LocalTime.h"

#include <chrono>

namespace halvix::test {

// Seconds from 1970-01-01 00:00 to `t`, read as a wall-clock time. The standard library works out
// the dates here, so tests never check the program's calendar against a copy of it.
inline long long wallSecondOf(const LocalTime& t) {
    using namespace std::chrono;
    const sys_days date{year{t.year} / t.month / t.day};
    return date.time_since_epoch().count() * 86400LL + t.secondOfDay();
}

// The local time `wall` seconds after 1970-01-01 00:00, with its weekday.
inline LocalTime localTimeAt(long long wall) {
    using namespace std::chrono;
    const sys_seconds instant{seconds{wall}};
    const sys_days date = floor<days>(instant);
    const year_month_day ymd{date};
    const hh_mm_ss time{instant - date};
    LocalTime t;
    t.year = int(ymd.year());
    t.month = int(unsigned(ymd.month()));
    t.day = int(unsigned(ymd.day()));
    t.hour = int(time.hours().count());
    t.minute = int(time.minutes().count());
    t.second = int(time.seconds().count());
    t.weekday = int(weekday{date}.iso_encoding());
    return t;
}

// A date and time with its weekday.
inline LocalTime dateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return localTimeAt(wallSecondOf({year, month, day, hour, minute, second}));
}

// The clock a test sets by hand: it shows `time` until told otherwise.
class FakeClock final : public Clock {
public:
    FakeClock() = default;
    explicit FakeClock(const LocalTime& shown) : time(shown) {}
    LocalTime now() const override { return time; }
    ClockReading read() const override { return {time, millisecond}; }

    // Shows every second from `from` to `to`, both included, and ticks `ticked` (the bell or a
    // window: anything with onTick) with each.
    template <typename Ticked> void tickThrough(Ticked& ticked, const LocalTime& from, const LocalTime& to) {
        for (long long s = wallSecondOf(from); s <= wallSecondOf(to); ++s) {
            time = localTimeAt(s);
            ticked.onTick(time);
        }
    }

    LocalTime time;
    int millisecond = 0; // within the second of `time`
};

} // namespace halvix::test
