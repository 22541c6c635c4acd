#pragma once

namespace halvix {

class TextTable;
struct LocalTime;

// Where the bell gets the day plan for the nightly reload.
class PlanSource {
public:
    virtual ~PlanSource() = default;

    // Fills `plan` with the plan of the day of `now`: columns and rows in time order, numbered
    // 1, 2, 3, ..., every status "待完". Returns false and leaves `plan` as it was when there is no
    // row to load or no database; reporting that to the user is the source's business.
    virtual bool loadDayPlan(TextTable& plan, const LocalTime& now) = 0;
};

} // namespace halvix
