#include "time/SystemClock.h"

#include <chrono>

namespace halvix {

LocalTime SystemClock::now() const {
    return localTimeOf(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()));
}

ClockReading SystemClock::read() const {
    using namespace std::chrono;
    const auto instant = system_clock::now();
    const auto second = floor<seconds>(instant);
    return {localTimeOf(system_clock::to_time_t(second)),
            static_cast<int>(duration_cast<milliseconds>(instant - second).count())};
}

LocalTime SystemClock::localTimeOf(std::time_t second) {
    std::tm parts{};
#ifdef _WIN32
    localtime_s(&parts, &second);
#else
    localtime_r(&second, &parts);
#endif
    LocalTime local;
    local.year = parts.tm_year + 1900;
    local.month = parts.tm_mon + 1;
    local.day = parts.tm_mday;
    local.hour = parts.tm_hour;
    local.minute = parts.tm_min;
    local.second = parts.tm_sec;
    local.weekday = parts.tm_wday == 0 ? 7 : parts.tm_wday;
    return local;
}

} // namespace halvix
