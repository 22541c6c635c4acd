#include "bell/DayPlanSource.h"

#include "calendar/TodayMute.h"
#include "time/CivilDate.h"

#include "bell/DayPlanSelector.h"
#include "calendar/CalendarStore.h"
#include "exam/WeekdayFile.h"
#include "store/DatabaseFailure.h"
#include "store/ScheduleDatabase.h"
#include "time/ClockText.h"

#include <algorithm>
#include <utility>

namespace halvix {

DayPlanSource::DayPlanSource(std::filesystem::path programFolder) : m_folder(std::move(programFolder)) {}

void DayPlanSource::choose(int dayType, int season) {
    m_dayType = dayType;
    m_season = season;
    m_choiceUnread = false;
}

void DayPlanSource::useStoredChoice(MessageSink& sink) {
    CollectingSink told;
    m_choiceUnread = !readStoredChoice(told);
    for (const UserMessage& message : told.messages)
        sink.show(message);
    m_toldAtStart = std::move(told.messages);
}

bool DayPlanSource::readStoredChoice(MessageSink& sink) {
    const auto dayType = storedDayType(m_folder, sink);
    const auto season = dayType ? storedSeason(m_folder, sink) : std::nullopt;
    if (!season)
        return false;
    choose(*dayType, *season);
    return true;
}

LoadResult DayPlanSource::loadDayPlan(DayPlan& plan, const LocalTime& now) {
    m_loadedAt = now;
    CollectingSink sink;
    if (m_choiceUnread && !readStoredChoice(sink))
        return failed(std::move(sink.messages), now);
    // A database that cannot be read for the calendar cannot give the plan either: one attempt,
    // not two, waits for a locked file.
    SilentSink quiet;
    const bool missing = ScheduleDatabase(m_folder, quiet).databaseMissing();
    std::vector<CalendarEntry> entries;
    if (!missing) {
        m_hadDatabase = true;
        CollectingSink calendarSink;
        auto read = readCalendar(m_folder, calendarSink);
        if (!read)
            return failed(std::move(calendarSink.messages), now);
        entries = std::move(*read);
    }
    m_decision = decideDay(now, m_dayType, m_season, entries);
    if (missing) {
        // Said as it is: a folder that had no database this run has not lost one.
        const auto how = m_hadDatabase ? MissingDatabase::Lost : MissingDatabase::NotYet;
        return failed({{missingDatabaseText(m_folder, how), "", MessageIcon::Critical}}, now);
    }
    TextTable loaded;
    const LoadResult result = halvix::loadDayPlan(m_folder, m_decision.dayType.value, m_decision.season.value,
                                                  m_decision.planTime(now), loaded, sink);
    if (result == LoadResult::Loaded)
        plan = DayPlan::fromTable(loaded);
    if (result != LoadResult::Failed) {
        m_lastFailed = false;
        m_toldAtStart.clear();
        m_tables = dayPlanTables(m_decision.dayType.value, m_decision.season.value, m_decision.planTime(now),
                                 readWeekDays(m_folder));
        m_failing = false;
        m_notices.clear();
        if (m_decision.silent)
            silence(plan, result);
        return m_decision.silent ? LoadResult::Loaded : result;
    }
    return failed(std::move(sink.messages), now);
}

bool DayPlanSource::readsAnyOf(const std::vector<std::string>& saved) const {
    if (m_lastFailed)
        return true; // a plan that could not be read may read now
    return std::any_of(saved.begin(), saved.end(), [this](const std::string& name) {
        return name == kWeekdayFileName ||
               std::find(m_tables.begin(), m_tables.end(), name) != m_tables.end();
    });
}

LoadResult DayPlanSource::failed(std::vector<UserMessage> reasons, const LocalTime& now) {
    m_lastFailed = true;
    // The start told why the choice could not be read: the load after it, failing for that very
    // reason, adds nothing.
    const bool toldAtStart = !reasons.empty() && reasons == std::exchange(m_toldAtStart, {});
    // A new date is a new day's plan that does not ring: worth hearing of again.
    if (!m_failing || dayNumber(now) != m_failingDay) {
        m_failing = true;
        m_failingDay = dayNumber(now);
        if (toldAtStart)
            return LoadResult::Failed;
        m_notices = std::move(reasons);
        if (m_notices.empty()) // every failure says why; this keeps it so should one not
            m_notices.push_back({"今日计划无法读取。", "", MessageIcon::Critical});
    }
    return LoadResult::Failed;
}

void DayPlanSource::silence(DayPlan& plan, LoadResult loaded) {
    m_silencedPlan = loaded == LoadResult::Loaded ? plan : DayPlan();
    plan.clearEntries();
}

std::optional<SilencedDay> DayPlanSource::silencedDay() const {
    if (!m_decision.silent)
        return std::nullopt;
    return SilencedDay{&m_silencedPlan, dayNumber(m_decision.date),
                       m_decision.silentNote == kMuteNote ? RingResult::MutedToday : RingResult::SilentDay,
                       m_decision.silentNote, m_loadedAt};
}

std::vector<UserMessage> DayPlanSource::takeNotices() {
    return std::exchange(m_notices, {});
}

} // namespace halvix
