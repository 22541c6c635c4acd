#include "calendar/TodayMute.h"

#include "calendar/CalendarStore.h"
#include "calendar/DayDecision.h"
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

// Applies `change` to the stored entries in one transaction, so that no other writer's entry is
// lost between the read and the write; Unchanged when it changes nothing.
template <typename Change>
MuteChange rewriteCalendar(const std::filesystem::path& folder, MessageSink& sink, Change change) {
    ScheduleDatabase db(folder, sink);
    if (db.databaseMissing())
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
    db.open();
    if (!db.isOpen() || !db.beginWrite())
        return MuteChange::Failed;
    std::optional<std::vector<CalendarEntry>> entries = readCalendar(db, counting);
    // Not read whole: writing now could replace entries that are there with fewer.
    if (!entries || counting.count > 0) {
        db.rollbackWrite();
        return MuteChange::Failed;
    }
    if (!change(*entries)) {
        db.rollbackWrite();
        return MuteChange::Unchanged;
    }
    if (!saveCalendar(db, *entries, sink)) {
        db.rollbackWrite();
        return MuteChange::Failed;
    }
    return db.commitWrite() ? MuteChange::Changed : MuteChange::Failed;
}

} // namespace

MuteChange muteDay(const std::filesystem::path& folder, const CivilDate& date, MessageSink& sink) {
    return rewriteCalendar(folder, sink, [&date](std::vector<CalendarEntry>& entries) {
        if (std::any_of(entries.begin(), entries.end(),
                        [&](const CalendarEntry& e) { return isMuteOf(e, date); }))
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

bool setDayMuted(const std::filesystem::path& folder, const CivilDate& date, bool muted, std::string& error) {
    struct Collect final : MessageSink {
        std::string text;
        void show(const UserMessage& message) override { text = message.text; }
    } sink;
    if ((muted ? muteDay(folder, date, sink) : unmuteDay(folder, date, sink)) != MuteChange::Failed)
        return true;
    error = sink.text.empty() ? std::string("无法写入校历") : sink.text;
    return false;
}

bool mutedByHand(const DayDecision& decision) {
    return decision.silent && decision.silentNote == kMuteNote;
}

} // namespace halvix
