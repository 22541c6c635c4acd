#pragma once

#include "bell/DayPlan.h"
#include "bell/RingResult.h"
#include "time/LocalTime.h"

#include <optional>
#include <string>

namespace halvix {

// What a load of the day plan came to. A failure was reported by the source; a day without rows is
// not a failure (the list keeps what it showed).
enum class LoadResult { Loaded, NoRows, Failed };

// A date the school calendar silences: its plan rings nothing; each entry is told at its time.
struct SilencedDay {
    const DayPlan* plan = nullptr; // the entries the date would ring
    long long date = 0;            // its dayNumber
    RingResult result = RingResult::SilentDay;
    std::string note;   // why (停铃: the calendar's note; 今日静音)
    LocalTime loadedAt; // when the load that silenced it ran: what came before rang, or passed
};

// Where the bell gets the day plan.
class PlanSource {
public:
    virtual ~PlanSource() = default;

    // Fills `plan` with the plan of the day of `now`: columns and rows in time order, numbered
    // 1, 2, 3, ..., every status "待完". Anything but Loaded leaves `plan` as it was.
    virtual LoadResult loadDayPlan(DayPlan& plan, const LocalTime& now) = 0;
    // After a load: the date, when the calendar silenced it.
    virtual std::optional<SilencedDay> silencedDay() const { return std::nullopt; }
};

} // namespace halvix
