#pragma once

namespace halvix {

class TextTable;
struct LocalTime;

// What a load of the day plan came to. A failure was reported by the source; a day without rows is
// not a failure (the list keeps what it showed).
enum class LoadResult { Loaded, NoRows, Failed };

// Where the bell gets the day plan.
class PlanSource {
public:
    virtual ~PlanSource() = default;

    // Fills `plan` with the plan of the day of `now`: columns and rows in time order, numbered
    // 1, 2, 3, ..., every status "待完". Anything but Loaded leaves `plan` as it was.
    virtual LoadResult loadDayPlan(TextTable& plan, const LocalTime& now) = 0;
};

} // namespace halvix
