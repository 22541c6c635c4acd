#include "cli/DayReport.h"

#include "bell/DayPlanSource.h"
#include "calendar/CalendarStore.h"
#include "time/ClockText.h"

namespace halvix {

DayReport reportDay(const std::filesystem::path& folder, const CivilDate& date) {
    DayReport report;
    SilentSink quiet; // a failure shows again in the load below, which reports it
    DayPlanSource source(folder);
    source.useStoredChoice(quiet);
    const LocalTime start{date.year, date.month, date.day, 0, 0, 0, weekdayOf(date)};
    report.result = source.loadDayPlan(report.plan, start);
    report.decision = source.decision();
    report.calendar = loadCalendar(folder, quiet);
    report.notices = source.takeNotices();
    return report;
}

std::string DayReport::decisionLine() const {
    return decisionReasons(decision, calendar);
}

TextList DayReport::rowLines() const {
    TextList lines;
    if (result != LoadResult::Loaded)
        return lines;
    for (int r = 0; r < plan.size(); ++r)
        if (readEntryTimeText(plan[r].time))
            lines.push_back(plan[r].time + '\t' + plan[r].event + '\t' + plan[r].sound);
    return lines;
}

} // namespace halvix
