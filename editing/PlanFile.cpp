#include "editing/PlanFile.h"

#include "common/SoundPath.h"
#include "store/TableCatalogue.h"
#include "time/ClockText.h"

#include <utility>

namespace halvix {

namespace {

constexpr std::size_t kColumns = kPlanColumnCount;
const char* const kPlanLineForm = "序号,日期,时间,事件,声音,状态,备注";

} // namespace

const TextList& planFileTitles() {
    static const TextList titles{"序号", "日期", "时间", "事件", "声音", "状态", "备注"};
    return titles;
}

bool readPlanRows(const std::vector<CsvRow>& rows, TextList& cells, std::string& error) {
    TextList read;
    int number = 0;
    for (const CsvRow& row : rows) {
        const std::string where = "第" + std::to_string(row.line) + "行: ";
        // A comma inside a cell would move the later cells into the wrong columns: such a line is
        // refused rather than guessed at.
        if (!CsvFile::fitsColumns(row.cells, kColumns)) {
            error = where + "应有" + std::to_string(kColumns) + "列 (" + kPlanLineForm + "), 此行有" +
                    std::to_string(row.cells.size()) + "列 (含逗号的格子须加英文双引号)";
            return false;
        }
        // Stored as the bell reads it, so that the plan's order by 时间 is the order of the day.
        const auto time = readTableTimeText(row.cells[TimeColumn]);
        if (!time) {
            error = where + "时间无效: \"" + row.cells[TimeColumn] + "\" (应为 HH:MM 或 HH:MM:SS)";
            return false;
        }
        // A sound that leads out of voic is refused here rather than stored to ring nothing: the
        // file may come from anywhere, and the table stays as it was.
        if (const auto refusal = soundTextRefusal(row.cells[SoundColumn])) {
            error = where + *refusal;
            return false;
        }
        read.push_back(std::to_string(++number));
        read.insert(read.end(), row.cells.begin() + 1, row.cells.begin() + kColumns);
        read[read.size() - kColumns + TimeColumn] = entryTimeText(*time);
    }
    cells = std::move(read);
    return true;
}

bool readPlanFile(const std::filesystem::path& file, TextList& cells, std::string& error) {
    const auto table = CsvFile().readTable(file, planFileTitles());
    if (!table) {
        error = "无法读取文件";
        return false;
    }
    return readPlanRows(table->rows, cells, error);
}

} // namespace halvix
