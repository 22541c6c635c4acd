#pragma once

#include <atomic>
#include <climits>
#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bell/DayPlan.h"
#include "bell/OutcomeTracker.h"
#include "bell/PlanSource.h"
#include "bell/RingOutcome.h"
#include "time/ClockText.h"

namespace halvix {

class PlanView;
class Playback;
struct LocalTime;

// The bell: once a second it is handed the local time, compares it with the armed entry of the day
// plan and, when the entry is due, marks it "完成", arms the next pending entry and starts the
// entry's sound. It also reloads the plan once a night and steps the folder playlist. It never
// reads the clock itself, so any day, clock step or sleeping machine can be replayed in a test.
//
// Firing rule: the armed entry rings at the first armed tick at or after its time and less than a
// minute past it (for HH:MM entries: within their minute). An entry found a minute or more overdue
// is marked "完成" without sound and the next one is armed at once, so nothing ever stalls.
// After each firing and each full reload the bell waits six ticks before it compares again.
//
// What became of every entry is told to one observer, once per entry: heard (from the player's
// report that the sound server began to play it), not heard and why, passed over, silenced by the
// calendar, held by an emergency, or passed before the bell ran.
class BellEngine {
public:
    // Ticks that only count after a firing or a full reload; the next one compares.
    static constexpr int kWaitTicks = 6;
    // An entry rings until this many seconds after its time (the end of the minute for HH:MM).
    static constexpr int kFireWindowSeconds = 60;
    // The nightly reload runs at the first tick at or after 01:01 of each date.
    static constexpr int kReloadSecondOfDay = 1 * 3600 + 1 * 60;
    // How many of the latest dates keep the record of what rang on them.
    static constexpr std::size_t kRememberedDays = 8;
    // Ticks between quiet attempts to load a plan that the database refused (missing, locked,
    // damaged): the bell gets its plan as soon as the database is usable again.
    static constexpr int kLoadRetryTicks = 60;

    // `plan` holds the day plan, which the engine loads through `source` and whose entries' states
    // it keeps. `nextEntryCountdown` receives the seconds to the armed entry at every arming.
    BellEngine(DayPlan& plan, PlanView& view, PlanSource& source, Playback& playback,
               std::atomic<int>& nextEntryCountdown);

    // The full reload (start-up, a change of day type or season): loads the plan, marks what
    // already rang on this date "完成", resets the bell (six-tick wait), marks passed entries
    // "完成" silently and arms the next. A load at or after 01:01 counts as that date's nightly
    // reload. A failed load is tried again every kLoadRetryTicks ticks until one gets through.
    LoadResult reloadPlan(const LocalTime& now);
    // One timer tick: nightly reload or the retry of a refused load, firing check or wait count,
    // playlist step.
    void onTick(const LocalTime& now);
    // Arms the next pending entry; true when none is left (the target stays, the countdown is 0).
    bool armNextEntry(const LocalTime& now);
    // The main window deleted `row` from the plan: the armed position may have moved, so re-arm.
    void rowRemoved(int row, const LocalTime& now);

    // An entry of `date` (a dayNumber) was dealt with without ringing (logged silenced): a load
    // of that date marks it done like one that rang.
    void recordDealtWith(long long date, const std::string& time, const std::string& sound);

    // Told what became of every entry and action; null for none.
    void setOutcomeObserver(OutcomeObserver* observer) { m_outcomes.setObserver(observer); }
    // 立即播放: `sound` at once, told as 手动播放 once heard. False while an emergency holds the
    // loudspeakers. `nowMs`: local wall-clock milliseconds.
    bool playNow(const std::string& sound, long long nowMs);
    // An action decided outside the bell (停止播放, 紧急广播), told like every outcome.
    void tell(const RingOutcome& outcome) { m_outcomes.tell(outcome); }
    // Sounds started and not yet heard or given up.
    bool awaitingOutcome() const { return m_outcomes.waiting(); }

    int currentRow() const { return m_currentRow; }
    // No pending entry is left in the plan.
    bool nothingLeft() const { return m_currentRow < 0; }
    // The pending entries still to ring: the armed one and those after it with a time that rings.
    int entriesLeft() const;
    // The entry armed to ring next; null before the first load armed one, when none is left, or
    // when the plan no longer holds its row.
    const PlanEntry* armedEntry() const {
        return m_currentRow >= 0 && m_currentRow < m_plan.size() ? &m_plan[m_currentRow] : nullptr;
    }
    // A load failed and is tried again at the tick when the count reaches 0; -1 while none failed.
    int loadRetryTicks() const { return m_loadRetryTicks; }
    // The armed entry's time.
    const EntryTime& target() const { return m_target; }
    int armCount() const { return m_armCount; }
    bool armed() const { return m_armed; }
    // True when a tick at or after 01:01 on the date of `day` reloads the plan: any date other
    // than the plan's, later or earlier. Entries that rang on that date before stay done.
    bool reloadAllowed(const LocalTime& day) const;

private:
    // The bell's reset of a full reload: row 0, target 0:0, disarmed for six ticks.
    void resetBellState();
    // Fires the armed entry when due; skips it silently when a minute or more overdue.
    void checkFire(const LocalTime& now);
    // Advances the list selection, arms the next entry and starts `sound`.
    SoundStart fireEntry(const std::string& sound, const LocalTime& now);
    // The outcome of `row` of `plan`, with `result`.
    static RingOutcome outcomeOf(const DayPlan& plan, int row, RingResult result);
    // The first plan of this run is in: what it passed over before it was loaded, no bell rang.
    void reportPassedBeforeStart(const LocalTime& loaded);
    // On a date the calendar silences, its entries are told at their time.
    void reportSilenced(const LocalTime& now);
    // The first pending row whose time is less than a minute past `now` (or still to come), shown
    // at the top of the list, with its time; every pending row before it is marked "完成". -1 when
    // none. Rows whose time text is not a valid HH:MM or HH:MM:SS are passed over as they are.
    int findNextPending(const LocalTime& now, EntryTime& time);
    LoadResult load(const LocalTime& now);
    void nightlyReload(const LocalTime& now);
    // Loads the plan again after a load the database refused, as the nightly reload does but
    // without counting as one: what rang today stays done, passed entries are marked, the next is
    // armed. Everything stays as it was when it still does not load.
    void retryLoad(const LocalTime& now);
    void recordLoad(const LocalTime& now);
    void followClockStep(const LocalTime& now, bool backwards);
    // Marks a passed entry "完成" without sound.
    void skipEntry(int row);
    // Arms the next entry after a load: the rows it passes over were never due while running.
    void armAfterLoad(const LocalTime& now);
    // Notes that the armed entry `row` rang on the date it was armed for.
    void rememberRing(int row);
    // Marks "完成" the pending rows dealt with on `date` already, one row for each time one was.
    void markRungRows(long long date);
    bool armedRowUnchanged() const;

    DayPlan& m_plan;
    PlanView& m_view;
    PlanSource& m_source;
    Playback& m_playback;
    std::atomic<int>& m_nextEntryCountdown;
    OutcomeTracker m_outcomes;
    bool m_reportSkips = true; // false while a load arms: passed rows were never due while running
    // Whether the first plan of this run has been loaded, and so its passed entries told.
    enum class StartLoad { Waiting, Retrying, Done };
    StartLoad m_startLoad = StartLoad::Waiting;
    long long m_silencedDay = -1; // the silenced date whose entries are told up to the second below
    int m_silencedUpTo = 0;

    int m_currentRow = 0;
    EntryTime m_target;
    int m_armCount = 0;
    bool m_armed = false;

    long long m_targetWallSecond = 0;           // the armed entry's time on the date it was armed for
    long long m_lastTickWallSecond = LLONG_MIN; // LLONG_MIN before the first tick
    bool m_loadPending = false;                 // a full load happened; the next arming records its date
    int m_loadRetryTicks = -1;
    long long m_planDay = LLONG_MIN; // the date (dayNumber) whose nightly reload ran last
    // Time and sound texts of what rang, or was logged silenced, on each of the latest dates, for a
    // date loaded again (a reload, 恢复响铃, the clock set to another date and back).
    std::map<long long, std::vector<std::pair<std::string, std::string>>> m_rangOnDay;
};

} // namespace halvix
