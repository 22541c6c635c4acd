#pragma once

#include "bell/DayPlan.h"
#include "bell/PlanSource.h"
#include "calendar/DayDecision.h"
#include "common/MessageSink.h"

#include <filesystem>
#include <string>
#include <vector>

namespace halvix {

// A date's plan exactly as the bell loads it (DayPlanSource over the stored day type and term and
// the school calendar), for the command line.
struct DayReport {
    LoadResult result = LoadResult::NoRows;
    DayDecision decision;
    std::vector<CalendarEntry> calendar;
    DayPlan plan;                     // empty on a silent date
    std::vector<UserMessage> notices; // why a load failed

    // The decision with its reasons, one line.
    std::string decisionLine() const;
    // The rows that ring, in order: "time\tevent\tsound". Rows whose time never rings are left out.
    TextList rowLines() const;
};

DayReport reportDay(const std::filesystem::path& folder, const CivilDate& date);

} // namespace halvix
