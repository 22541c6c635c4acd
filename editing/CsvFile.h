#pragma once

#include "store/TextTable.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvix {

// One line of a table file that is not blank: its cells and its line number (from 1).
struct CsvRow {
    int line = 0;
    TextList cells;

    bool operator==(const CsvRow&) const = default;
};

// The rows of a table file, read line by line: every line is one row, never more, never less.
struct CsvTable {
    bool titled = false; // the first line that is not blank read as the titles, and is not a row
    std::vector<CsvRow> rows;
};

// Table rows as comma-separated text files, for editing in other tools. A comma separates cells;
// blanks around a cell stay part of it. A cell written with a comma, a quote or a line break in it
// is quoted as RFC 4180 does ("a,b", a quote doubled); reading takes such a cell back. A quote that
// does not open and close a whole cell that way is an ordinary character. Files are written in
// code page 936 (GB18030) with CR LF line ends and no byte-order mark; files are read in code page
// 936 or UTF-8 (see decodeFileText).
class CsvFile {
public:
    // Cells of `line`: the text before each separator, then the text after the last one.
    // An empty line has no cells. Returns the number of cells.
    static int splitLine(std::string_view line, TextList& cells, char separator = ',');
    // `cell` as a file holds it: quoted when it holds the separator, a quote, CR or LF.
    static std::string quoteCell(std::string_view cell, char separator = ',');
    // True when `cells` are `count` cells, or `count` and the empty one after a line's final comma.
    static bool fitsColumns(const TextList& cells, std::size_t count);

    // The cells of every line in file order, the empty ones included (with no cells), so that a
    // caller can name a line by its number. Lines may be of any length; CR LF and LF both end a
    // line. False, with `lines` untouched, when the file cannot be read.
    bool readLines(const std::filesystem::path& path, std::vector<TextList>& lines) const;
    // The rows of a table whose columns are `titles`: blank lines are skipped; the first line that
    // is not blank is the title line only when its cells are `titles` (blanks around them and a
    // final empty cell allowed), otherwise it is a row like every other. Nothing when the file
    // cannot be read.
    std::optional<CsvTable> readTable(const std::filesystem::path& path, const TextList& titles) const;

    // One line per group of cellsPerRow cells, each cell followed by ",". A file that exists is
    // replaced whole (replaceFileContent). False when the file cannot be written whole (or
    // cellsPerRow is 0); the file that was there then stays.
    bool writeFile(const std::filesystem::path& path, std::size_t cellsPerRow, const TextList& cells) const;

    // True when every cell of a read line is empty or blanks and tabs.
    static bool blankLine(const TextList& cells);
    // The last of `columnCount` columns (a note) is the rest of the line without the one comma that
    // ends every written line, so a note may hold commas and survives an export and import. A line
    // of at most `columnCount` cells is returned as it is.
    static TextList withWholeNote(TextList cells, std::size_t columnCount);
};

} // namespace halvix
