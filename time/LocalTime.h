#pragma once

namespace halvix {

// The local date and time as the bell sees it; weekday 1 = Monday ... 7 = Sunday.
struct LocalTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 6;

    int secondOfDay() const { return hour * 3600 + minute * 60 + second; }
};

// The local time and the millisecond within its second, from one reading of a clock.
struct ClockReading {
    LocalTime time;
    int millisecond = 0;
};

// Source of the local time. The program reads the system clock; tests hand in any time they like.
class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime now() const = 0;
    // The time to the millisecond; a clock that keeps whole seconds gives millisecond 0.
    virtual ClockReading read() const { return {now(), 0}; }
};

} // namespace halvix
