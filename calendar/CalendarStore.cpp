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

bool blankLine(const TextList& cells) {
    for (const std::string& cell : cells)
        if (cell.find_first_not_of(" \t") != std::string::npos)
            return false;
    return true;
}

// The note is the rest of the line without the one comma that ends every written line, so a note
// may hold commas and survives an export and import.
TextList withWholeNote(const TextList& cells) {
    constexpr std::size_t kNote = kCalendarColumnCount - 1;
    if (cells.size() <= kCalendarColumnCount)
        return cells;
    const std::size_t end = cells.back().empty() ? cells.size() - 1 : cells.size();
    TextList joined(cells.begin(), cells.begin() + static_cast<std::ptrdiff_t>(kNote));
    std::string note;
    for (std::size_t c = kNote; c < end; ++c)
        note += (c == kNote ? "" : ",") + cells[c];
    joined.push_back(std::move(note));
    return joined;
}

} // namespace

std::vector<CalendarEntry> loadCalendar(const std::filesystem::path& folder, MessageSink& sink) {
    return readCalendar(folder, sink).value_or(std::vector<CalendarEntry>());
}

std::optional<std::vector<CalendarEntry>> readCalendar(const std::filesystem::path& folder,
                                                       MessageSink& sink) {
    std::vector<CalendarEntry> entries;
    ScheduleDatabase db(folder, sink);
    db.open();
    if (!db.isOpen())
        return std::nullopt;
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
    db.close();
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
    const std::string problem = entriesProblem(entries);
    if (!problem.empty()) {
        sink.show({problem + "\n校历未保存。", "校历", MessageIcon::Warning});
        return false;
    }
    ScheduleDatabase db(folder, sink);
    db.open();
    if (!db.isOpen())
        return false;
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
    const bool saved = values.empty() ? db.clearTable(kCalendarTable)
                                      : db.replaceRows(kCalendarTable, kCalendarColumnCount, values);
    db.close();
    return saved;
}

bool readCalendarCsv(const std::filesystem::path& path, std::vector<CalendarEntry>& entries,
                     std::string& error) {
    std::vector<TextList> lines;
    if (!CsvFile().readLines(path, lines)) {
        error = "无法读取文件";
        return false;
    }
    std::vector<CalendarEntry> read;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const TextList& cells = lines[i];
        if (blankLine(cells))
            continue;
        if (i == 0 && !readDateText(cells.front()))
            continue; // the title line
        const std::string where = "第" + std::to_string(i + 1) + "行: ";
        if (cells.size() < 3) {
            error = where + "应为 开始日期,结束日期,类型,参数,备注";
            return false;
        }
        std::string reason;
        auto entry = readEntryCells(withWholeNote(cells), reason);
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
