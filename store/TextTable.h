#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace halvix {

using TextList = std::vector<std::string>;

// A list of text rows under column titles: the in-memory form of every list the program shows
// (the day plan, the data dialog's table, an imported file). Rows may be shorter or longer than the
// titles; cells read outside a row are empty.
class TextTable {
public:
    const TextList& names() const { return m_names; }
    int rowCount() const { return static_cast<int>(m_rows.size()); }
    int columnCount() const { return static_cast<int>(m_names.size()); }
    const TextList& row(int r) const { return m_rows.at(static_cast<std::size_t>(r)); }

    // Empty text for a row or column that does not exist.
    const std::string& cell(int r, int c) const;
    // Ignored for a row that does not exist; a row shorter than c + 1 grows.
    void setCell(int r, int c, std::string text);

    // Titles become `names`, every row goes (the list's column rebuild). No names: nothing changes.
    void setColumns(TextList names);
    // Columns from `names`, one row per names.size() values; a last partial group is padded with
    // empty cells. Either list empty: nothing changes and 0 is returned. Returns the rows put in.
    int fill(const TextList& names, const TextList& values);

    void appendRow(TextList cells);
    bool removeRow(int r);
    void clear();
    // Column 0 of row i becomes "i + 1".
    void renumber();
    // Cells 0 .. columns-1 of every row, row-major; missing cells are empty.
    TextList cells(int columns) const;

private:
    TextList m_names;
    std::vector<TextList> m_rows;
};

// The question asked before row `r` leaves a list: its columns 0..3 (number, date, time, event)
// joined by single blanks, then `question`. A row that does not exist reads as four empty cells.
std::string deleteQuestion(const TextTable& list, int r, std::string_view question);

} // namespace halvix
