#include "editing/CsvFile.h"

#include "editing/TextCodec.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

namespace halvix {

int CsvFile::splitLine(std::string_view line, TextList& cells, char separator) {
    cells.clear();
    if (line.empty())
        return 0;
    std::size_t start = 0;
    for (std::size_t at = line.find(separator); at != std::string_view::npos;
         at = line.find(separator, start)) {
        cells.emplace_back(line.substr(start, at - start));
        start = at + 1;
    }
    cells.emplace_back(line.substr(start));
    return static_cast<int>(cells.size());
}

bool CsvFile::readFile(const std::filesystem::path& path, TextList& titles, TextList& cells) const {
    std::vector<TextList> lines;
    if (!readLines(path, lines))
        return false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i == 0)
            titles = std::move(lines[i]);
        else if (lines[i].size() >= 2)
            cells.insert(cells.end(), std::make_move_iterator(lines[i].begin()),
                         std::make_move_iterator(lines[i].end()));
    }
    return true;
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

bool CsvFile::writeFile(const std::filesystem::path& path, std::size_t cellsPerRow,
                        const TextList& cells) const {
    if (cellsPerRow == 0)
        return false;
    std::string text;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        text += cells[i];
        text += ',';
        if ((i + 1) % cellsPerRow == 0 || i + 1 == cells.size())
            text += "\r\n";
    }
    const std::string bytes = utf8ToGb18030(text);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
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
