#pragma once

#include "bell/PlanSource.h"
#include "calendar/DayDecision.h"
#include "common/MessageSink.h"

#include "bell/DayPlan.h"

#include <filesystem>
#include <string>
#include <vector>

namespace halvix {

// Today's plan from the database of the program folder. The school calendar decides the date's
// day type, term and weekday (the stored choices serve where it says nothing); on a date it
// silences, the plan keeps its columns and has no rows.
// A failed load is reported once: its messages wait until the caller takes them and shows them
// where they belong (a box for the user's own action, the tray for the night's reload). The loads
// that fail after it on the same date stay quiet until one gets through, unless a user asks.
class DayPlanSource final : public PlanSource {
public:
    explicit DayPlanSource(std::filesystem::path programFolder);

    // The stored defaults (lxtime, jjtime), which the calendar may override on a date.
    void choose(int dayType, int season);
    // Chooses what the database stores. Where it cannot be read (a lock, damage), the reason is told
    // to `sink`, the choice held stays (日常, 春季 at first) and every load reads it again first and
    // fails while it cannot: a plan chosen by the defaults could be another day type's.
    void useStoredChoice(MessageSink& sink);
    int dayType() const { return m_dayType; }
    int season() const { return m_season; }
    // What the calendar decided at the latest load, and the rows a silenced date would have rung.
    const DayDecision& decision() const { return m_decision; }
    const DayPlan& silencedPlan() const { return m_silencedPlan; }
    // When the latest load ran.
    const LocalTime& loadedAt() const { return m_loadedAt; }

    LoadResult loadDayPlan(DayPlan& plan, const LocalTime& now) override;
    std::optional<SilencedDay> silencedDay() const override;
    // The next load is the user's own: its failure is reported even where the ones before failed.
    void reportNextFailure() { m_failing = false; }
    // Whether a save of `saved` (table names, or the school week's file) may change the plan of the
    // latest load: it reads one of the tables, the week decides which it reads, or it read nothing.
    bool readsAnyOf(const std::vector<std::string>& saved) const;

    // The messages of a failure not yet reported; empty when there is none. Taking them clears them.
    std::vector<UserMessage> takeNotices();

private:
    // Both stored values, or false (the choice held unchanged) when either cannot be read.
    bool readStoredChoice(MessageSink& sink);
    // A failed load: its reasons become the notice unless this failure was reported already.
    LoadResult failed(std::vector<UserMessage> reasons, const LocalTime& now);
    // The date rings nothing: `plan` keeps its columns, its rows are kept aside.
    void silence(DayPlan& plan, LoadResult loaded);

    std::filesystem::path m_folder;
    int m_dayType = 1;
    int m_season = 1;
    bool m_choiceUnread = false; // the stored choice could not be read, nor chosen since
    bool m_hadDatabase = false;  // a load found the database file: its absence now is a loss
    DayDecision m_decision;
    LocalTime m_loadedAt;
    DayPlan m_silencedPlan;
    std::vector<std::string> m_tables; // read by the latest load that got through
    bool m_lastFailed = false;
    bool m_failing = false;
    long long m_failingDay = 0; // the date of the failure reported last
    std::vector<UserMessage> m_notices;
    std::vector<UserMessage> m_toldAtStart; // by useStoredChoice, until a load
};

} // namespace halvix
