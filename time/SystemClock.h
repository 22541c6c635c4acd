#pragma once

#include "time/LocalTime.h"

#include <ctime>

namespace halvix {

// The machine's local time, in the time zone the system is set to.
class SystemClock final : public Clock {
public:
    LocalTime now() const override;
    ClockReading read() const override;

    // The local time of a wall-clock second since the epoch.
    static LocalTime localTimeOf(std::time_t second);
};

} // namespace halvix
