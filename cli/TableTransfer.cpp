#include "cli/TableTransfer.h"

#include "calendar/CalendarStore.h"
#include "common/MessageSink.h"
#include "editing/CsvFile.h"
#include "editing/PlanFile.h"
#include "store/DatabaseFailure.h"
#include "store/ScheduleDatabase.h"
#include "store/TableCatalogue.h"

#include <algorithm>

namespace halvix {

namespace {

const char* const kNoRows = "文件中没有任何行; 若要清空此表, 请加 --empty";

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

bool exportTable(const std::filesystem::path& folder, const std::string& table,
                 const std::filesystem::path& file, MessageSink& sink, std::string& error) {
    if (table == kCalendarTable) {
        ScheduleDatabase probe(folder, sink);
        if (probe.databaseMissing()) {
            error = missingDatabaseText(folder, MissingDatabase::NotFound);
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
        error = missingDatabaseText(folder, MissingDatabase::NotFound);
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
                 const std::filesystem::path& file, ImportRows allowed, MessageSink& sink, std::string& error,
                 int& rows) {
    if (ScheduleDatabase(folder, sink).databaseMissing()) {
        error = missingDatabaseText(folder, MissingDatabase::NotFound);
        return false;
    }
    if (table == kCalendarTable) {
        std::vector<CalendarEntry> entries;
        if (!readCalendarCsv(file, entries, error)) {
            error = file.string() + ": " + error;
            return false;
        }
        if (entries.empty() && allowed != ImportRows::MayBeNone) {
            error = file.string() + ": " + kNoRows;
            return false;
        }
        if (!saveCalendar(folder, entries, sink)) {
            error = "校历未保存";
            return false;
        }
        rows = static_cast<int>(entries.size());
        return true;
    }
    TextList cells;
    if (!readPlanFile(file, cells, error)) {
        error = file.string() + ": " + error;
        return false;
    }
    if (cells.empty() && allowed != ImportRows::MayBeNone) {
        error = file.string() + ": " + kNoRows;
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
