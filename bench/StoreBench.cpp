// Cost of reading a plan table into a list and of rewriting a table, per row.
#include "bell/DayPlanSelector.h"
#include "common/MessageSink.h"
#include "store/ScheduleDatabase.h"
#include "store/TableCatalogue.h"
#include "store/TextTable.h"
#include "support/ScheduleFixture.h"

#include <benchmark/benchmark.h>

#include <cstdio>

namespace halvix {
namespace {

TextList planValues(int rows) {
    TextList values;
    values.reserve(static_cast<std::size_t>(rows) * 7);
    char time[16];
    for (int i = 0; i < rows; ++i) {
        std::snprintf(time, sizeof time, "%02d:%02d:%02d", (i / 3600) % 24, (i / 60) % 60, i % 60);
        for (const std::string& cell :
             {std::to_string(i + 1), std::string(), std::string(time), std::string("上课"),
              std::string("上课.mp3"), std::string(kPending), std::string("第一节")})
            values.push_back(cell);
    }
    return values;
}

void LoadPlanTable(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    test::ScheduleFixture fx;
    SilentSink sink;
    {
        ScheduleDatabase db(fx.folder(), sink);
        db.open();
        db.replaceRows(tables::zccjtime, 7, planValues(rows));
    }
    LocalTime wednesday;
    wednesday.weekday = 3;
    for (auto _ : state) {
        TextTable plan;
        loadDayPlan(fx.folder(), 1, 1, wednesday, plan, sink);
        benchmark::DoNotOptimize(plan.rowCount());
    }
    state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(LoadPlanTable)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void ReplaceRows(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    test::ScheduleFixture fx;
    SilentSink sink;
    const TextList values = planValues(rows);
    for (auto _ : state) {
        ScheduleDatabase db(fx.folder(), sink);
        db.open();
        benchmark::DoNotOptimize(db.replaceRows(tables::zccjtime, 7, values));
        db.close();
    }
    state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(ReplaceRows)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace halvix
