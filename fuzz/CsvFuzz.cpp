// CSV files of any bytes: reading never crashes, and what was read writes back and reads again the same.
#include "FuzzFolder.h"
#include "editing/CsvFile.h"
#include "editing/TextCodec.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace halvix;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TextList split;
    CsvFile::splitLine(bytes, split);
    (void)decodeFileText(bytes);

    CsvFile csv;
    TextList titles, cells;
    if (!csv.readFile(fuzz::writeScratch("in.csv", data, size), titles, cells) || titles.empty())
        return 0;
    // Rows as the list shows them: groups of the title count, the last one padded.
    const std::size_t width = titles.size();
    cells.resize((cells.size() + width - 1) / width * width);
    TextList all = titles;
    all.insert(all.end(), cells.begin(), cells.end());
    const auto out = fuzz::scratchFolder() / "out.csv";
    if (!csv.writeFile(out, width, all))
        std::abort();
    TextList titles2, cells2;
    if (!csv.readFile(out, titles2, cells2))
        std::abort();
    return 0;
}
