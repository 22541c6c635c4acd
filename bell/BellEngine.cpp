#include "bell/BellEngine.h"

#include "bell/PlanSource.h"
#include "bell/PlanView.h"
#include "bell/Playback.h"
#include "time/CivilDate.h"
#include "time/ClockText.h"
#include "time/LocalTime.h"

#include <algorithm>
#include <climits>

namespace halvix {

namespace {

long long floorDivide(long long value, long long divisor) {
    return value / divisor - (value % divisor < 0 ? 1 : 0);
}

int clampToInt(long long value) {
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

// The wall-clock second of the occurrence of `secondOfDay` that is at most a minute past `now` and
// less than a day ahead: yesterday's for an entry of the last minute seen just after midnight.
long long occurrenceNear(const LocalTime& now, int secondOfDay) {
    long long ahead = secondOfDay - now.secondOfDay();
    if (ahead <= -BellEngine::kFireWindowSeconds)
        ahead += kSecondsPerDay;
    else if (ahead > kSecondsPerDay - BellEngine::kFireWindowSeconds)
        ahead -= kSecondsPerDay;
    return wallSecond(now) + ahead;
}

// The occurrence of `secondOfDay` on the date of `now` (yesterday's for an entry of the last minute
// seen just after midnight). An entry already passed on that date stays passed: a clock set back
// to after it must not move it to tomorrow, which would hold up every entry behind it.
long long occurrenceToday(const LocalTime& now, int secondOfDay) {
    long long ahead = secondOfDay - now.secondOfDay();
    if (ahead > kSecondsPerDay - BellEngine::kFireWindowSeconds)
        ahead -= kSecondsPerDay;
    return wallSecond(now) + ahead;
}

} // namespace

BellEngine::BellEngine(DayPlan& plan, PlanView& view, PlanSource& source, Playback& playback,
                       std::atomic<int>& nextEntryCountdown)
    : m_plan(plan), m_view(view), m_source(source), m_playback(playback),
      m_nextEntryCountdown(nextEntryCountdown) {
    m_playback.setReports(&m_outcomes);
}

LoadResult BellEngine::reloadPlan(const LocalTime& now) {
    const LoadResult result = load(now);
    if (result == LoadResult::Loaded) {
        // A reload on the same date must not ring again what rang before it.
        markRungRows(dayNumber(now));
        m_view.planReplaced();
    }
    resetBellState();
    armAfterLoad(now);
    return result;
}

LoadResult BellEngine::load(const LocalTime& now) {
    const LoadResult result = m_source.loadDayPlan(m_plan, now);
    // Scheduled before anyone hears of the failure, so nothing the user does with the notice
    // holds up the next attempt.
    m_loadRetryTicks = result == LoadResult::Failed ? kLoadRetryTicks : -1;
    if (result == LoadResult::Failed) {
        if (m_startLoad == StartLoad::Waiting)
            m_startLoad = StartLoad::Retrying;
    } else if (m_startLoad != StartLoad::Done) {
        // Before anything of the new plan is marked: what it passed over is still pending.
        if (result == LoadResult::Loaded)
            reportPassedBeforeStart(now);
        m_startLoad = StartLoad::Done;
    }
    return result;
}

void BellEngine::resetBellState() {
    m_currentRow = 0;
    m_target.hour = 0;
    m_target.minute = 0;
    m_armCount = 0;
    m_armed = false;
    m_loadPending = true;
}

bool BellEngine::reloadAllowed(const LocalTime& day) const {
    // Every date rings its own plan, whichever way the clock went: a date set back to must not ring
    // the plan of the date it came from, nor the date set ahead to stay silent when its day comes,
    // its plan having been used up. What rang on a date before is marked done at its load.
    return dayNumber(day) != m_planDay;
}

void BellEngine::recordLoad(const LocalTime& now) {
    // A load before 01:01 still leaves that date's nightly reload to run.
    if (now.secondOfDay() < kReloadSecondOfDay) {
        m_planDay = dayNumber(now) - 1;
        return;
    }
    m_planDay = dayNumber(now);
}

void BellEngine::onTick(const LocalTime& now) {
    const long long second = wallSecond(now);
    if (m_lastTickWallSecond != LLONG_MIN && second != m_lastTickWallSecond + 1)
        followClockStep(now, second < m_lastTickWallSecond);
    m_lastTickWallSecond = second;

    if (now.secondOfDay() >= kReloadSecondOfDay && reloadAllowed(now))
        nightlyReload(now);
    else if (m_loadRetryTicks >= 0 && --m_loadRetryTicks <= 0)
        retryLoad(now);

    if (m_armed)
        checkFire(now);
    else if (++m_armCount >= kWaitTicks)
        m_armed = true;

    m_playback.onTick();
    reportSilenced(now);
    m_outcomes.onTick();
}

void BellEngine::nightlyReload(const LocalTime& now) {
    // Counted as run even when nothing loads, or a missing database would be reported every second.
    recordLoad(now);
    if (load(now) == LoadResult::Loaded) {
        markRungRows(dayNumber(now));
        m_view.planReplaced();
    }
    armAfterLoad(now);
}

void BellEngine::retryLoad(const LocalTime& now) {
    if (load(now) != LoadResult::Loaded)
        return;
    markRungRows(dayNumber(now));
    m_view.planReplaced();
    armAfterLoad(now);
}

void BellEngine::armAfterLoad(const LocalTime& now) {
    m_reportSkips = false;
    armNextEntry(now);
    m_reportSkips = true;
}

void BellEngine::followClockStep(const LocalTime& now, bool backwards) {
    if (m_currentRow < 0)
        return;
    // Set back, the armed entry is due at its time on the new date (rows already done stay done).
    // Moved on, it keeps its date, so that an entry the clock jumped over is seen as overdue.
    if (backwards)
        m_targetWallSecond = occurrenceToday(now, m_target.secondOfDay());
    m_nextEntryCountdown.store(clampToInt(m_targetWallSecond - wallSecond(now)));
}

void BellEngine::checkFire(const LocalTime& now) {
    if (m_currentRow < 0)
        return;
    // The plan changed under the armed entry (rows removed without telling the bell): arm afresh
    // rather than ring whatever entry now stands at the armed position.
    if (!armedRowUnchanged() && armNextEntry(now))
        return;
    const long long late = wallSecond(now) - m_targetWallSecond;
    if (late < 0)
        return;
    if (late >= kFireWindowSeconds) {
        skipEntry(m_currentRow);
        // The entry armed now is at most a minute past: it rings at once if its time has come.
        if (armNextEntry(now) || wallSecond(now) < m_targetWallSecond)
            return;
    }
    const int row = m_currentRow;
    const long long due = m_targetWallSecond;
    rememberRing(row);
    m_plan[row].state = EntryState::Done;
    m_view.statusChanged(row);
    RingOutcome outcome = outcomeOf(m_plan, row, RingResult::Rang);
    const bool held = m_playback.held();
    const SoundStart start = fireEntry(outcome.sound, now);
    // After the sound started: whatever the observer does cannot delay it.
    if (held) {
        outcome.result = RingResult::Emergency;
        outcome.note = m_playback.heldNote();
        m_outcomes.tell(outcome);
    } else {
        m_outcomes.expect(start, std::move(outcome), RingResult::Rang, due * 1000);
    }
    m_armCount = 0;
    m_armed = false;
}

SoundStart BellEngine::fireEntry(const std::string& sound, const LocalTime& now) {
    m_view.advanceSelection(m_currentRow + 1);
    armNextEntry(now);
    // The entry that fired sounds also when it was the day's last.
    return m_playback.startSound(sound);
}

bool BellEngine::playNow(const std::string& sound, long long nowMs) {
    if (m_playback.held())
        return false;
    RingOutcome outcome;
    outcome.event = "立即播放";
    outcome.sound = sound;
    m_outcomes.expect(m_playback.startSound(sound), std::move(outcome), RingResult::Manual, nowMs);
    return true;
}

RingOutcome BellEngine::outcomeOf(const DayPlan& plan, int row, RingResult result) {
    RingOutcome outcome;
    outcome.planTime = plan[row].time;
    outcome.event = plan[row].event;
    outcome.sound = plan[row].sound;
    outcome.result = result;
    return outcome;
}

void BellEngine::reportPassedBeforeStart(const LocalTime& loaded) {
    const auto silenced = m_source.silencedDay();
    const DayPlan& rows = silenced ? *silenced->plan : m_plan;
    // The load passes over what is a minute or more overdue (later ones ring or are 逾时跳过); on a
    // silenced date the entries from the load's second on are told as they come.
    const int passedUpTo = loaded.secondOfDay() - (silenced ? 1 : kFireWindowSeconds);
    const char* note = m_startLoad == StartLoad::Retrying ? "今日计划无法读取时已过" : "程序启动前已过";
    std::vector<RingOutcome> passed;
    for (int row = 0; row < rows.size(); ++row) {
        const auto time = readEntryTimeText(rows[row].time);
        if (!time || time->secondOfDay() > passedUpTo ||
            (!silenced && rows[row].state != EntryState::Pending))
            continue;
        passed.push_back(outcomeOf(rows, row, RingResult::NotRunning));
        passed.back().note = note;
    }
    if (OutcomeObserver* observer = m_outcomes.observer())
        observer->passedBeforeStart(dateText(dateOf(loaded)), passed);
}

void BellEngine::reportSilenced(const LocalTime& now) {
    const auto silenced = m_source.silencedDay();
    const long long date = dayNumber(now);
    if (!silenced || silenced->date != date) {
        m_silencedDay = -1;
        return;
    }
    if (date != m_silencedDay) {
        // Entries before the load that silenced the date rang, or were passed over, before it.
        m_silencedDay = date;
        m_silencedUpTo =
            dayNumber(silenced->loadedAt) == date ? silenced->loadedAt.secondOfDay() - 1 : now.secondOfDay();
    }
    const DayPlan& rows = *silenced->plan;
    // What rang on the date before it was silenced (in the very second of the silencing) stays rung.
    auto dealtWith = m_rangOnDay[date];
    for (int row = 0; row < rows.size(); ++row) {
        const auto time = readEntryTimeText(rows[row].time);
        if (!time || time->secondOfDay() <= m_silencedUpTo || time->secondOfDay() > now.secondOfDay())
            continue;
        const auto rang =
            std::find(dealtWith.begin(), dealtWith.end(), std::pair(rows[row].time, rows[row].sound));
        if (rang != dealtWith.end()) {
            dealtWith.erase(rang);
            continue;
        }
        RingOutcome outcome = outcomeOf(rows, row, silenced->result);
        outcome.note = silenced->note;
        // Dealt with for the date: a reload (恢复响铃) must not ring it after all.
        recordDealtWith(date, outcome.planTime, outcome.sound);
        m_outcomes.tell(outcome);
    }
    m_silencedUpTo = now.secondOfDay();
}

bool BellEngine::armNextEntry(const LocalTime& now) {
    if (m_loadPending) {
        m_loadPending = false;
        recordLoad(now);
    }
    EntryTime time;
    m_currentRow = findNextPending(now, time);
    if (m_currentRow < 0) {
        // Nothing more to ring: no countdown to show.
        m_nextEntryCountdown.store(0);
        return true;
    }
    m_target = time;
    m_targetWallSecond = occurrenceNear(now, m_target.secondOfDay());
    m_nextEntryCountdown.store(clampToInt(m_targetWallSecond - wallSecond(now)));
    // The bell knows its next sound now, long before it rings.
    m_playback.prepareSound(m_plan[m_currentRow].sound);
    return false;
}

int BellEngine::entriesLeft() const {
    if (m_currentRow < 0)
        return 0;
    int left = 0;
    // The plan is in time order: every pending row before the armed one was passed over.
    for (int row = m_currentRow; row < m_plan.size(); ++row)
        if (m_plan[row].state == EntryState::Pending && readEntryTimeText(m_plan[row].time))
            ++left;
    return left;
}

int BellEngine::findNextPending(const LocalTime& now, EntryTime& found) {
    const int passedUpTo = now.secondOfDay() - kFireWindowSeconds;
    for (int row = 0; row < m_plan.size(); ++row) {
        if (m_plan[row].state != EntryState::Pending)
            continue;
        const auto time = readEntryTimeText(m_plan[row].time);
        if (!time)
            continue;
        if (time->secondOfDay() > passedUpTo) {
            found = *time;
            m_view.showArmedRow(row);
            return row;
        }
        skipEntry(row);
    }
    return -1;
}

void BellEngine::skipEntry(int row) {
    m_plan[row].state = EntryState::Passed;
    m_view.statusChanged(row);
    // A passed entry ends the running playlist as its firing would have.
    m_playback.clearPlaylist();
    if (!m_reportSkips)
        return;
    RingOutcome outcome = outcomeOf(m_plan, row, RingResult::Overdue);
    outcome.note = "超过 60 秒未响, 已跳过";
    m_outcomes.tell(outcome);
}

void BellEngine::rememberRing(int row) {
    recordDealtWith(floorDivide(m_targetWallSecond, kSecondsPerDay), m_plan[row].time, m_plan[row].sound);
}

void BellEngine::recordDealtWith(long long date, const std::string& time, const std::string& sound) {
    m_rangOnDay[date].emplace_back(time, sound);
    // Older dates go, so the record stays small however long the program runs.
    while (m_rangOnDay.size() > kRememberedDays)
        m_rangOnDay.erase(m_rangOnDay.begin());
}

void BellEngine::markRungRows(long long date) {
    const auto rang = m_rangOnDay.find(date);
    if (rang == m_rangOnDay.end())
        return;
    auto unmatched = rang->second;
    for (int row = 0; row < m_plan.size() && !unmatched.empty(); ++row) {
        if (m_plan[row].state != EntryState::Pending)
            continue;
        const auto match =
            std::find(unmatched.begin(), unmatched.end(), std::pair(m_plan[row].time, m_plan[row].sound));
        if (match == unmatched.end())
            continue;
        unmatched.erase(match);
        m_plan[row].state = EntryState::Done;
        m_view.statusChanged(row);
    }
}

bool BellEngine::armedRowUnchanged() const {
    const PlanEntry* armed = armedEntry();
    if (!armed || armed->state != EntryState::Pending)
        return false;
    const auto time = readEntryTimeText(armed->time);
    return time && time->hour == m_target.hour && time->minute == m_target.minute &&
           time->second == m_target.second && time->minutePrecision == m_target.minutePrecision;
}

void BellEngine::rowRemoved(int row, const LocalTime& now) {
    // Rows below the armed one do not move it; with nothing armed nothing is left to arm.
    if (m_currentRow < 0 || row > m_currentRow)
        return;
    armNextEntry(now);
}

} // namespace halvix
