#include "calendar/TodayMute.h"

#include "calendar/CalendarStore.h"
#include "common/MessageSink.h"
#include "store/ScheduleDatabase.h"

#include <algorithm>

namespace halvix {

namespace {

bool isMuteOf(const CalendarEntry& entry, const CivilDate& date) {
    return entry.type == CalendarType::Silent && entry.start == date && entry.end == date &&
           entry.note == kMuteNote;
}

} // namespace

namespace {

// Rewrites the calendar with `change` applied to its entries; Unchanged when it changes nothing.
template <typename Change>
MuteChange rewriteCalendar(const std::filesystem::path& folder, MessageSink& sink, Change change) {
    if (ScheduleDatabase(folder, sink).databaseMissing())
        return MuteChange::Failed;
    struct Counting final : MessageSink {
        explicit Counting(MessageSink& to) : target(to) {}
        void show(const UserMessage& message) override {
            ++count;
            target.show(message);
        }
        MessageSink& target;
        int count = 0;
    } counting(sink);
    std::vector<CalendarEntry> entries = loadCalendar(folder, counting);
    // Not read whole: writing now could replace entries that are there with fewer.
    if (counting.count > 0)
        return MuteChange::Failed;
    if (!change(entries))
        return MuteChange::Unchanged;
    return saveCalendar(folder, entries, sink) ? MuteChange::Changed : MuteChange::Failed;
}

} // namespace

MuteChange muteDay(const std::filesystem::path& folder, const CivilDate& date, MessageSink& sink) {
    return rewriteCalendar(folder, sink, [&date](std::vector<CalendarEntry>& entries) {
        if (std::any_of(entries.begin(), entries.end(), [&](const CalendarEntry& e) { return isMuteOf(e, date); }))
            return false;
        entries.push_back({date, date, CalendarType::Silent, 0, kMuteNote});
        return true;
    });
}

MuteChange unmuteDay(const std::filesystem::path& folder, const CivilDate& date, MessageSink& sink) {
    return rewriteCalendar(folder, sink, [&date](std::vector<CalendarEntry>& entries) {
        return std::erase_if(entries, [&](const CalendarEntry& e) { return isMuteOf(e, date); }) > 0;
    });
}

} // namespace halvix
