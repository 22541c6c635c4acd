#include "calendar/CalendarStore.h"

#include "common/MessageSink.h"
#include "editing/CsvFile.h"
#include "store/ScheduleDatabase.h"

#include <utility>

namespace halvix {

namespace {

const std::string kCreateTable =
    "create table if not exists calendar (开始日期 TEXT, 结束日期 TEXT, 类型 TEXT, 参数 TEXT, 备注 TEXT)";

bool ensureTable(ScheduleDatabase& db) {
    return db.execute(kCreateTable);
}

} // namespace

std::vector<CalendarEntry> loadCalendar(const std::filesystem::path& folder, MessageSink& sink) {
    return readCalendar(folder, sink).value_or(std::vector<CalendarEntry>());
}

std::optional<std::vector<CalendarEntry>> readCalendar(const std::filesystem::path& folder,
                                                       MessageSink& sink) {
    ScheduleDatabase db(folder, sink);
    db.open();
    if (!db.isOpen())
        return std::nullopt;
    return readCalendar(db, sink);
}

std::optional<std::vector<CalendarEntry>> readCalendar(ScheduleDatabase& db, MessageSink& sink) {
    std::vector<CalendarEntry> entries;
    TextList names;
    TextList values;
    // A database from before the calendar gets the table; a read-only one reads as empty.
    const auto known = db.queryRows(names, values, "select name from sqlite_master where name = 'calendar'");
    if (known == ScheduleDatabase::ReadResult::Failed)
        return std::nullopt;
    if (known == ScheduleDatabase::ReadResult::NoRows && !ensureTable(db))
        return entries;
    names.clear();
    const auto read = db.queryRows(names, values, "select * from calendar");
    if (read == ScheduleDatabase::ReadResult::Failed)
        return std::nullopt;
    if (read == ScheduleDatabase::ReadResult::NoRows || names.size() < kCalendarColumnCount)
        return entries;
    std::string ignored;
    const std::size_t columns = names.size();
    for (std::size_t start = 0; start + columns <= values.size(); start += columns) {
        const TextList cells(values.begin() + static_cast<std::ptrdiff_t>(start),
                             values.begin() + static_cast<std::ptrdiff_t>(start + kCalendarColumnCount));
        std::string reason;
        if (auto entry = readEntryCells(cells, reason))
            entries.push_back(std::move(*entry));
        else if (ignored.empty())
            ignored = "校历第" + std::to_string(start / columns + 1) + "行无效, 已忽略: " + reason;
    }
    if (!ignored.empty())
        sink.show({ignored, "校历", MessageIcon::Warning});
    return entries;
}

bool saveCalendar(const std::filesystem::path& folder, const std::vector<CalendarEntry>& entries,
                  MessageSink& sink) {
    ScheduleDatabase db(folder, sink);
    db.open();
    return db.isOpen() && saveCalendar(db, entries, sink);
}

bool saveCalendar(ScheduleDatabase& db, const std::vector<CalendarEntry>& entries, MessageSink& sink) {
    const std::string problem = entriesProblem(entries);
    if (!problem.empty()) {
        sink.show({problem + "\n校历未保存。", "校历", MessageIcon::Warning});
        return false;
    }
    if (!ensureTable(db)) {
        sink.show({"无法在数据库中建立校历表。\n校历未保存。", "校历", MessageIcon::Critical});
        return false;
    }
    TextList values;
    for (const CalendarEntry& entry : entries) {
        TextList cells = entryCells(entry);
        values.insert(values.end(), std::make_move_iterator(cells.begin()),
                      std::make_move_iterator(cells.end()));
    }
    return values.empty() ? db.clearTable(kCalendarTable)
                          : db.replaceRows(kCalendarTable, kCalendarColumnCount, values);
}

bool readCalendarCsv(const std::filesystem::path& path, std::vector<CalendarEntry>& entries,
                     std::string& error) {
    const auto table = CsvFile().readTable(path, calendarColumns());
    if (!table) {
        error = "无法读取文件";
        return false;
    }
    std::vector<CalendarEntry> read;
    for (const CsvRow& row : table->rows) {
        const std::string where = "第" + std::to_string(row.line) + "行: ";
        if (row.cells.size() < 3) {
            error = where + "应为 开始日期,结束日期,类型,参数,备注";
            return false;
        }
        std::string reason;
        auto entry = readEntryCells(CsvFile::withWholeNote(row.cells, kCalendarColumnCount), reason);
        if (!entry) {
            error = where + reason;
            return false;
        }
        read.push_back(std::move(*entry));
    }
    entries = std::move(read);
    return true;
}

bool writeCalendarCsv(const std::filesystem::path& path, const std::vector<CalendarEntry>& entries) {
    TextList cells = calendarColumns();
    for (const CalendarEntry& entry : entries) {
        TextList row = entryCells(entry);
        cells.insert(cells.end(), std::make_move_iterator(row.begin()), std::make_move_iterator(row.end()));
    }
    return CsvFile().writeFile(path, kCalendarColumnCount, cells);
}

} // namespace halvix
