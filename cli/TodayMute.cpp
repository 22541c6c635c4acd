#include "cli/TodayMute.h"

#include "calendar/CalendarStore.h"
#include "store/ScheduleDatabase.h"

#include <algorithm>

namespace halvix {

namespace {

bool isMuteOf(const CalendarEntry& entry, const CivilDate& date) {
    return entry.type == CalendarType::Silent && entry.start == date && entry.end == date &&
           entry.note == kMuteNote;
}

} // namespace

MuteChange muteDay(const std::filesystem::path& folder, const CivilDate& date, MessageSink& sink) {
    if (ScheduleDatabase(folder, sink).databaseMissing())
        return MuteChange::Failed;
    std::vector<CalendarEntry> entries = loadCalendar(folder, sink);
    if (std::any_of(entries.begin(), entries.end(),
                    [&](const CalendarEntry& e) { return isMuteOf(e, date); }))
        return MuteChange::Unchanged;
    entries.push_back({date, date, CalendarType::Silent, 0, kMuteNote});
    return saveCalendar(folder, entries, sink) ? MuteChange::Changed : MuteChange::Failed;
}

MuteChange unmuteDay(const std::filesystem::path& folder, const CivilDate& date, MessageSink& sink) {
    if (ScheduleDatabase(folder, sink).databaseMissing())
        return MuteChange::Failed;
    std::vector<CalendarEntry> entries = loadCalendar(folder, sink);
    const auto kept = std::remove_if(entries.begin(), entries.end(),
                                     [&](const CalendarEntry& e) { return isMuteOf(e, date); });
    if (kept == entries.end())
        return MuteChange::Unchanged;
    entries.erase(kept, entries.end());
    return saveCalendar(folder, entries, sink) ? MuteChange::Changed : MuteChange::Failed;
}

} // namespace halvix
