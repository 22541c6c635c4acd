// CSV files of any bytes: reading never crashes, and what was read writes back and reads again the same.
#include "FuzzFolder.h"
#include "editing/CsvFile.h"
#include "editing/TextCodec.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace halvix;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TextList split;
    CsvFile::splitLine(bytes, split);
    (void)decodeFileText(bytes);

    CsvFile csv;
    std::vector<TextList> lines;
    if (!csv.readLines(fuzz::writeScratch("in.csv", data, size), lines))
        return 0;
    // Every line written back (one row each, padded to the widest) reads back cell for cell.
    std::size_t width = 1;
    for (const TextList& line : lines)
        width = std::max(width, line.size());
    TextList all;
    std::vector<TextList> expected;
    for (TextList line : lines) {
        line.resize(width);
        all.insert(all.end(), line.begin(), line.end());
        line.emplace_back(); // the empty cell after the comma that ends every written line
        expected.push_back(std::move(line));
    }
    const auto out = fuzz::scratchFolder() / "out.csv";
    if (!csv.writeFile(out, width, all))
        std::abort();
    std::vector<TextList> again;
    if (!csv.readLines(out, again))
        std::abort();
    // A cell with a line break spans lines when read again, and text beyond ASCII may read in the
    // other encoding: the cells compare when neither is in them.
    const bool plain = std::all_of(all.begin(), all.end(), [](const std::string& cell) {
        return std::all_of(cell.begin(), cell.end(), [](char c) {
            return c != '\r' && c != '\n' && static_cast<unsigned char>(c) < 0x80;
        });
    });
    if (plain && again != expected)
        std::abort();
    return 0;
}
