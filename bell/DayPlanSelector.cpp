#include "bell/DayPlanSelector.h"

#include "common/MessageSink.h"
#include "common/NumberText.h"
#include "exam/WeekdayFile.h"
#include "store/DatabaseFailure.h"
#include "store/ScheduleDatabase.h"
#include "store/TableCatalogue.h"
#include "store/TextTable.h"
#include "time/CivilDate.h"

#include <fstream>

namespace halvix {

namespace {

std::optional<int> readOneValue(const std::filesystem::path& folder, const char* table, MessageSink& sink) {
    ScheduleDatabase db(folder, sink);
    if (db.databaseMissing())
        return 1;
    db.open();
    TextList names;
    TextList values;
    int value = 1;
    const auto read = db.queryRows(names, values, sql::selectAll(table));
    if (read == ScheduleDatabase::ReadResult::Failed)
        return std::nullopt;
    if (read == ScheduleDatabase::ReadResult::Rows && !values.empty()) {
        value = readNumber(values.front());
        // Keep exactly the value just read as the table's one row. A table that holds just that is
        // left alone: rewriting it changes nothing, and on a read-only or full disk it would only
        // hold up start-up with failure messages before the plan is loaded.
        if (values.size() > 1)
            db.replaceRows(table, 1, {values.front()});
    }
    db.close();
    return value;
}

bool writeOneValue(const std::filesystem::path& folder, const char* table, int value, MessageSink& sink) {
    ScheduleDatabase db(folder, sink);
    db.open();
    const bool written = db.replaceRows(table, 1, {std::to_string(value)});
    db.close();
    return written;
}

} // namespace

WeekDays weekDaysFromNumber(int number) {
    // Digits of a negative number would come out negative and match nothing either way.
    return {(number / 100) % 10, (number % 100) % 10};
}

WeekDays readWeekDays(const std::filesystem::path& folder) {
    std::ifstream in(folder / kWeekdayFileName);
    std::string line;
    if (!in || !std::getline(in, line))
        return {};
    return weekDaysFromNumber(readNumber(line));
}

int readDayType(const std::filesystem::path& folder, MessageSink& sink) {
    return storedDayType(folder, sink).value_or(1);
}

int readSeason(const std::filesystem::path& folder, MessageSink& sink) {
    return storedSeason(folder, sink).value_or(1);
}

std::optional<int> storedDayType(const std::filesystem::path& folder, MessageSink& sink) {
    return readOneValue(folder, tables::lxtime, sink);
}

std::optional<int> storedSeason(const std::filesystem::path& folder, MessageSink& sink) {
    return readOneValue(folder, tables::jjtime, sink);
}

bool writeDayType(const std::filesystem::path& folder, int dayType, MessageSink& sink) {
    return writeOneValue(folder, tables::lxtime, dayType, sink);
}

bool writeSeason(const std::filesystem::path& folder, int season, MessageSink& sink) {
    return writeOneValue(folder, tables::jjtime, season, sink);
}

std::vector<std::string> dayPlanTables(int dayType, int season, const LocalTime& today, WeekDays week) {
    if (isWeekday(week.firstDay)) {
        const int dayBeforeFirst = week.firstDay == 1 ? 7 : week.firstDay - 1;
        if (today.weekday == dayBeforeFirst)
            return {tables::sundaytime};
    }
    const bool knownSeason = season == kSpring || season == kAutumn;
    if (dayType == kExamDay && knownSeason)
        return {tables::sjtime, season == kSpring ? tables::kscjtime : tables::ksqjtime};
    if (dayType != kDailyDay || !knownSeason)
        return {};
    if (today.weekday == week.lastDay)
        return {tables::fridtime};
    if (today.weekday == week.firstDay)
        return {season == kSpring ? tables::cjtime : tables::qjtime};
    return {season == kSpring ? tables::zccjtime : tables::zcqjtime};
}

std::string choosePlanQuery(int dayType, int season, const LocalTime& today, WeekDays week) {
    const std::vector<std::string> read = dayPlanTables(dayType, season, today, week);
    if (read.empty())
        return {};
    if (read.front() == tables::sjtime)
        return sql::examDayPlan(season, dateText(today.month, today.day));
    return sql::dailyPlan(read.front());
}

LoadResult loadDayPlan(const std::filesystem::path& folder, int dayType, int season, const LocalTime& today,
                       TextTable& plan, MessageSink& sink) {
    ScheduleDatabase db(folder, sink);
    if (db.databaseMissing()) {
        sink.show({missingDatabaseText(folder, MissingDatabase::NotFound), "", MessageIcon::Critical});
        return LoadResult::Failed;
    }
    const std::string query = choosePlanQuery(dayType, season, today, readWeekDays(folder));
    db.open();
    if (!db.isOpen())
        return LoadResult::Failed; // reported by the database
    TextList names;
    TextList values;
    const auto read = db.queryRows(names, values, query);
    db.close();
    if (read == ScheduleDatabase::ReadResult::Failed)
        return LoadResult::Failed;
    if (read == ScheduleDatabase::ReadResult::NoRows || plan.fill(names, values) == 0)
        return LoadResult::NoRows;
    plan.renumber();
    return LoadResult::Loaded;
}

} // namespace halvix
