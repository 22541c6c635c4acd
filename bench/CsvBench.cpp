#include "editing/CsvFile.h"
#include "editing/PlanFile.h"
#include "editing/TextCodec.h"
#include "store/TextTable.h"
#include "support/PlanTitles.h"
#include "support/TempFolder.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

using halvix::CsvFile;
using halvix::TextList;
using halvix::TextTable;

// Titles and `rows` plan rows of seven cells, as the data dialog exports them.
TextList planCells(int rows) {
    TextList cells = halvix::test::kPlanTitles;
    cells.reserve(static_cast<std::size_t>(rows + 1) * 7);
    for (int r = 0; r < rows; ++r) {
        const int minute = r % 1440;
        const std::string time = (minute / 60 < 10 ? "0" : "") + std::to_string(minute / 60) + ":" +
                                 (minute % 60 < 10 ? "0" : "") + std::to_string(minute % 60);
        for (std::string cell :
             {std::to_string(r + 1), std::string("6月7日"), time, std::string("组织进入考场"),
              std::string("h01组织进入考场.mp3"), std::string("待完"), std::string("语文")})
            cells.push_back(std::move(cell));
    }
    return cells;
}

void importFile(benchmark::State& state, const std::filesystem::path& file) {
    for (auto _ : state) {
        TextList cells;
        std::string error;
        halvix::readPlanFile(file, cells, error);
        TextTable table;
        benchmark::DoNotOptimize(table.fill(halvix::planFileTitles(), cells));
    }
    state.counters["rows/s"] =
        benchmark::Counter(double(state.range(0)), benchmark::Counter::kIsIterationInvariantRate);
}

void ImportCodePage936(benchmark::State& state) {
    const halvix::test::TempFolder folder;
    CsvFile().writeFile(folder / "plan.csv", 7, planCells(int(state.range(0))));
    importFile(state, folder / "plan.csv");
}
BENCHMARK(ImportCodePage936)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void ImportUtf8(benchmark::State& state) {
    const halvix::test::TempFolder folder;
    CsvFile().writeFile(folder / "plan.csv", 7, planCells(int(state.range(0))));
    folder.write("utf8.csv", halvix::gb18030ToUtf8(halvix::test::readFile(folder / "plan.csv")));
    importFile(state, folder / "utf8.csv");
}
BENCHMARK(ImportUtf8)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void Export(benchmark::State& state) {
    const halvix::test::TempFolder folder;
    const TextList cells = planCells(int(state.range(0)));
    const CsvFile csv;
    for (auto _ : state)
        benchmark::DoNotOptimize(csv.writeFile(folder / "plan.csv", 7, cells));
    state.counters["rows/s"] =
        benchmark::Counter(double(state.range(0)), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(Export)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
