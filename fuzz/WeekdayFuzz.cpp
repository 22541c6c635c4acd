// The school-week file with any content: both days always come out as digits.
#include "FuzzFolder.h"
#include "bell/DayPlanSelector.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    halvix::fuzz::writeScratch("xqno.txt", data, size);
    const halvix::WeekDays week = halvix::readWeekDays(halvix::fuzz::scratchFolder());
    if (week.firstDay < -9 || week.firstDay > 9 || week.lastDay < -9 || week.lastDay > 9)
        std::abort();
    return 0;
}
