#include "store/TextTable.h"

#include <utility>

namespace halvix {

namespace {
const std::string kEmpty;
}

const std::string& TextTable::cell(int r, int c) const {
    if (r < 0 || c < 0 || r >= rowCount())
        return kEmpty;
    const TextList& cells = m_rows[static_cast<std::size_t>(r)];
    return static_cast<std::size_t>(c) < cells.size() ? cells[static_cast<std::size_t>(c)] : kEmpty;
}

void TextTable::setCell(int r, int c, std::string text) {
    if (r < 0 || c < 0 || r >= rowCount())
        return;
    TextList& cells = m_rows[static_cast<std::size_t>(r)];
    if (static_cast<std::size_t>(c) >= cells.size())
        cells.resize(static_cast<std::size_t>(c) + 1);
    cells[static_cast<std::size_t>(c)] = std::move(text);
}

void TextTable::setColumns(TextList names) {
    if (names.empty())
        return;
    m_names = std::move(names);
    m_rows.clear();
}

int TextTable::fill(const TextList& names, const TextList& values) {
    if (names.empty() || values.empty())
        return 0;
    setColumns(names);
    const std::size_t width = names.size();
    for (std::size_t start = 0; start < values.size(); start += width) {
        TextList cells(width);
        for (std::size_t c = 0; c < width && start + c < values.size(); ++c)
            cells[c] = values[start + c];
        m_rows.push_back(std::move(cells));
    }
    return rowCount();
}

void TextTable::appendRow(TextList cells) {
    m_rows.push_back(std::move(cells));
}

bool TextTable::removeRow(int r) {
    if (r < 0 || r >= rowCount())
        return false;
    m_rows.erase(m_rows.begin() + r);
    return true;
}

void TextTable::clear() {
    m_names.clear();
    m_rows.clear();
}

void TextTable::renumber() {
    for (int r = 0; r < rowCount(); ++r)
        setCell(r, 0, std::to_string(r + 1));
}

TextList TextTable::cells(int columns) const {
    TextList out;
    out.reserve(m_rows.size() * static_cast<std::size_t>(columns > 0 ? columns : 0));
    for (int r = 0; r < rowCount(); ++r)
        for (int c = 0; c < columns; ++c)
            out.push_back(cell(r, c));
    return out;
}

std::string deleteQuestion(const TextTable& list, int r, std::string_view question) {
    std::string text;
    for (int c = 0; c < 4; ++c) {
        if (c > 0)
            text += ' ';
        text += list.cell(r, c);
    }
    text += question;
    return text;
}

} // namespace halvix
