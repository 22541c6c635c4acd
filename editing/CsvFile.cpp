#include "editing/CsvFile.h"

#include "common/TextFile.h"
#include "editing/TextCodec.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

namespace halvix {

namespace {

// The quoted cell that begins at `start`, quotes removed and doubled quotes made one; `end` is
// the separator after it (npos at the line's end). False when no such cell begins there.
bool readQuotedCell(std::string_view line, std::size_t start, char separator, std::string& cell,
                    std::size_t& end) {
    if (start >= line.size() || line[start] != '"')
        return false;
    std::string read;
    for (std::size_t at = start + 1; at < line.size(); ++at) {
        if (line[at] != '"') {
            read += line[at];
            continue;
        }
        if (at + 1 < line.size() && line[at + 1] == '"') {
            read += '"';
            ++at;
            continue;
        }
        if (at + 1 < line.size() && line[at + 1] != separator)
            return false; // text after the closing quote: the quotes are ordinary characters
        end = at + 1 < line.size() ? at + 1 : std::string_view::npos;
        cell = std::move(read);
        return true;
    }
    return false;
}

bool blankCells(const TextList& cells) {
    return std::all_of(cells.begin(), cells.end(), [](const std::string& cell) {
        return cell.find_first_not_of(" \t") == std::string::npos;
    });
}

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool readsAsTitles(const TextList& cells, const TextList& titles) {
    if (!CsvFile::fitsColumns(cells, titles.size()))
        return false;
    for (std::size_t c = 0; c < titles.size(); ++c)
        if (trimmed(cells[c]) != titles[c])
            return false;
    return true;
}

} // namespace

int CsvFile::splitLine(std::string_view line, TextList& cells, char separator) {
    cells.clear();
    if (line.empty())
        return 0;
    std::size_t start = 0;
    while (true) {
        std::string cell;
        std::size_t end = std::string_view::npos;
        if (!readQuotedCell(line, start, separator, cell, end)) {
            end = line.find(separator, start);
            cell = line.substr(start, end == std::string_view::npos ? end : end - start);
        }
        cells.push_back(std::move(cell));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return static_cast<int>(cells.size());
}

std::string CsvFile::quoteCell(std::string_view cell, char separator) {
    const char special[] = {separator, '"', '\r', '\n'};
    if (cell.find_first_of(std::string_view(special, sizeof special)) == std::string_view::npos)
        return std::string(cell);
    std::string quoted = "\"";
    for (const char c : cell) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

bool CsvFile::fitsColumns(const TextList& cells, std::size_t count) {
    return cells.size() == count || (cells.size() == count + 1 && cells.back().empty());
}

bool CsvFile::readLines(const std::filesystem::path& path, std::vector<TextList>& lines) const {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        return false;
    const std::string text = decodeFileText(bytes);

    const std::string_view all(text);
    std::vector<TextList> read;
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? all.size() : end + 1;
        if (end == std::string_view::npos)
            end = all.size();
        else if (end > start && all[end - 1] == '\r')
            --end; // CR LF is one line end, as in a text-mode read
        read.emplace_back();
        splitLine(all.substr(start, end - start), read.back());
        start = next;
    }
    lines = std::move(read);
    return true;
}

std::optional<CsvTable> CsvFile::readTable(const std::filesystem::path& path, const TextList& titles) const {
    std::vector<TextList> lines;
    if (!readLines(path, lines))
        return std::nullopt;
    CsvTable table;
    bool first = true;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (blankCells(lines[i]))
            continue;
        if (std::exchange(first, false) && readsAsTitles(lines[i], titles)) {
            table.titled = true;
            continue;
        }
        table.rows.push_back({static_cast<int>(i + 1), std::move(lines[i])});
    }
    return table;
}

bool CsvFile::writeFile(const std::filesystem::path& path, std::size_t cellsPerRow,
                        const TextList& cells) const {
    if (cellsPerRow == 0)
        return false;
    std::string text;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        text += quoteCell(cells[i]);
        text += ',';
        if ((i + 1) % cellsPerRow == 0 || i + 1 == cells.size())
            text += "\r\n";
    }
    // Never truncated in place: a failed or cut short export leaves the file that was there.
    std::string problem;
    return replaceFileContent(path, utf8ToGb18030(text), problem);
}

bool CsvFile::blankLine(const TextList& cells) {
    return std::all_of(cells.begin(), cells.end(), [](const std::string& cell) {
        return cell.find_first_not_of(" \t") == std::string::npos;
    });
}

TextList CsvFile::withWholeNote(TextList cells, std::size_t columnCount) {
    if (columnCount == 0 || cells.size() <= columnCount)
        return cells;
    if (cells.back().empty())
        cells.pop_back();
    const std::size_t note = columnCount - 1;
    for (std::size_t c = note + 1; c < cells.size(); ++c)
        cells[note] += "," + cells[c];
    cells.resize(columnCount);
    return cells;
}

} // namespace halvix
