#pragma once

#include "editing/CsvFile.h"

#include <filesystem>
#include <string>
#include <vector>

namespace halvix {

// The titles of a plan file: the columns of every plan table, in order.
const TextList& planFileTitles();

// The plan rows of a file's rows (as CsvFile::readTable gives them, titles set aside): each row
// holds the seven cells of a plan row, or seven and the empty one after a final comma, with a time
// the bell can ring (HH:MM or HH:MM:SS; a spreadsheet's one-digit hour, 8:45, is taken and written
// 08:45). Rows are renumbered 1, 2, 3, ... as the dialog's import does. False at the first bad
// row, named by its line in `error` ("第5行: ..."), `cells` untouched.
bool readPlanRows(const std::vector<CsvRow>& rows, TextList& cells, std::string& error);

// readTable and readPlanRows together: the rows of a plan file as seven cells each. No rows at all
// is a success with `cells` empty: the caller decides whether that may empty a table.
bool readPlanFile(const std::filesystem::path& file, TextList& cells, std::string& error);

} // namespace halvix
