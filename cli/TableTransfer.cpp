#include "cli/TableTransfer.h"

#include "calendar/CalendarStore.h"
#include "common/MessageSink.h"
#include "common/SoundPath.h"
#include "editing/CsvFile.h"
#include "store/ScheduleDatabase.h"
#include "store/TableCatalogue.h"
#include "time/ClockText.h"

#include <algorithm>

namespace halvix {

namespace {

bool blankLine(const TextList& cells) {
    return std::all_of(cells.begin(), cells.end(), [](const std::string& cell) {
        return cell.find_first_not_of(" \t") == std::string::npos;
    });
}

// The note (备注) is the rest of the line without the one comma that ends a written line, so a
// note may hold commas and survives an export and import.
TextList withWholeNote(TextList cells) {
    constexpr std::size_t kNote = kPlanColumnCount - 1;
    if (cells.size() > kPlanColumnCount && cells.back().empty())
        cells.pop_back();
    for (std::size_t c = kNote + 1; c < cells.size(); ++c)
        cells[kNote] += "," + cells[c];
    cells.resize(kPlanColumnCount);
    return cells;
}

const char* const kPlanLineForm = "序号,日期,时间,事件,声音,状态,备注";

} // namespace

TextList transferTableNames() {
    TextList names;
    for (const PlanTableInfo& info : planTables())
        names.push_back(info.table);
    names.push_back(kCalendarTable);
    return names;
}

bool isTransferTable(const std::string& table) {
    const TextList names = transferTableNames();
    return std::find(names.begin(), names.end(), table) != names.end();
}

bool readPlanLines(const std::vector<TextList>& lines, TextList& cells, std::string& error) {
    TextList read;
    int number = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        TextList row = lines[i];
        if (blankLine(row))
            continue;
        const std::string where = "第" + std::to_string(i + 1) + "行: ";
        if (row.size() < kPlanColumnCount) {
            error = where + "应有" + std::to_string(kPlanColumnCount) + "列 (" + kPlanLineForm +
                    "), 此行只有" + std::to_string(row.size()) + "列";
            return false;
        }
        row = withWholeNote(std::move(row));
        if (!readEntryTimeText(row[TimeColumn])) {
            error = where + "时间无效: \"" + row[TimeColumn] + "\" (应为 HH:MM 或 HH:MM:SS)";
            return false;
        }
        // A sound that leads out of voic is refused here rather than stored to ring nothing: the
        // file may come from anywhere, and the table stays as it was.
        if (const auto refusal = soundTextRefusal(row[SoundColumn])) {
            error = where + *refusal;
            return false;
        }
        row[NumberColumn] = std::to_string(++number);
        read.insert(read.end(), row.begin(), row.end());
    }
    cells = std::move(read);
    return true;
}

bool exportTable(const std::filesystem::path& folder, const std::string& table,
                 const std::filesystem::path& file, MessageSink& sink, std::string& error) {
    if (table == kCalendarTable) {
        ScheduleDatabase probe(folder, sink);
        if (probe.databaseMissing()) {
            error = "数据库没找到!";
            return false;
        }
        if (!writeCalendarCsv(file, loadCalendar(folder, sink))) {
            error = "无法写入 " + file.string();
            return false;
        }
        return true;
    }
    ScheduleDatabase db(folder, sink);
    if (db.databaseMissing()) {
        error = "数据库没找到!";
        return false;
    }
    db.open();
    TextList names;
    TextList values;
    const bool read = db.isOpen() && (db.loadTable(table, names, values) || !names.empty());
    db.close();
    if (!read) {
        error = "无法读取表 " + table;
        return false;
    }
    // The titles as a row, then the rows: the file the data dialog writes.
    TextList cells;
    for (std::size_t c = 0; c < kPlanColumnCount; ++c)
        cells.push_back(c < names.size() ? names[c] : std::string());
    TextTable list;
    list.fill(names, values);
    const TextList rows = list.cells(kPlanColumnCount);
    cells.insert(cells.end(), rows.begin(), rows.end());
    if (!CsvFile().writeFile(file, kPlanColumnCount, cells)) {
        error = "无法写入 " + file.string();
        return false;
    }
    return true;
}

bool importTable(const std::filesystem::path& folder, const std::string& table,
                 const std::filesystem::path& file, MessageSink& sink, std::string& error, int& rows) {
    if (ScheduleDatabase(folder, sink).databaseMissing()) {
        error = "数据库没找到!";
        return false;
    }
    if (table == kCalendarTable) {
        std::vector<CalendarEntry> entries;
        if (!readCalendarCsv(file, entries, error)) {
            error = file.string() + ": " + error;
            return false;
        }
        if (!saveCalendar(folder, entries, sink)) {
            error = "校历未保存";
            return false;
        }
        rows = static_cast<int>(entries.size());
        return true;
    }
    std::vector<TextList> lines;
    if (!CsvFile().readLines(file, lines)) {
        error = "无法读取 " + file.string();
        return false;
    }
    if (lines.empty() || blankLine(lines.front())) {
        error = file.string() + ": 第1行: 应为标题行 (" + kPlanLineForm + ")";
        return false;
    }
    TextList cells;
    if (!readPlanLines(lines, cells, error)) {
        error = file.string() + ": " + error;
        return false;
    }
    ScheduleDatabase db(folder, sink);
    db.open();
    if (!db.isOpen()) {
        error = "无法打开数据库";
        return false;
    }
    const bool saved = cells.empty() ? db.clearTable(table) : db.replaceRows(table, kPlanColumnCount, cells);
    db.close();
    if (!saved) {
        error = "无法写入数据库";
        return false;
    }
    rows = static_cast<int>(cells.size() / kPlanColumnCount);
    return true;
}

} // namespace halvix
