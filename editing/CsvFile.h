#pragma once

#include "store/TextTable.h"

#include <cstddef>
#include <filesystem>
#include <string_view>
#include <vector>

namespace halvix {

// Plan rows as comma-separated text files, for editing in other tools. A comma always separates:
// there is no quoting, and blanks around a cell stay part of it. Files are written in code page
// 936 (GB18030) with CR LF line ends and no byte-order mark; files are read in code page 936 or
// UTF-8 (see decodeFileText).
class CsvFile {
public:
    // Cells of `line`: the text before each separator, then the text after the last one.
    // An empty line has no cells. Returns the number of cells.
    static int splitLine(std::string_view line, TextList& cells, char separator = ',');

    // Titles from the first line, whatever their number; the cells of every later line with at
    // least two cells appended to `cells` (shorter lines are skipped). Lines may be of any length;
    // CR LF and LF both end a line. False, with both lists untouched, when the file cannot be read.
    bool readFile(const std::filesystem::path& path, TextList& titles, TextList& cells) const;
    // The cells of every line in file order, the empty ones included (with no cells), so that a
    // caller can name a line by its number. False, with `lines` untouched, when the file cannot be
    // read.
    bool readLines(const std::filesystem::path& path, std::vector<TextList>& lines) const;

    // One line per group of cellsPerRow cells, each cell followed by ",". A file that exists is
    // replaced. False when the file cannot be written whole (or cellsPerRow is 0).
    bool writeFile(const std::filesystem::path& path, std::size_t cellsPerRow, const TextList& cells) const;

    // True when every cell of a read line is empty or blanks and tabs.
    static bool blankLine(const TextList& cells);
    // The last of `columnCount` columns (a note) is the rest of the line without the one comma that
    // ends every written line, so a note may hold commas and survives an export and import. A line
    // of at most `columnCount` cells is returned as it is.
    static TextList withWholeNote(TextList cells, std::size_t columnCount);
};

} // namespace halvix
