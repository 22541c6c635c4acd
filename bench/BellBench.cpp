#include "bell/BellEngine.h"
#include "bell/PlanSource.h"
#include "bell/PlanView.h"
#include "bell/Playback.h"
#include "store/TextTable.h"
#include "support/PlanTitles.h"
#include "support/RecordingPlayer.h"
#include "time/LocalTime.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <string>

namespace {

using namespace halvix;

constexpr int kRows = 500;

// Not the tests' FiringLog: it would keep every call through millions of iterations.
class NoView final : public PlanView {
public:
    void statusChanged(int) override {}
    void showArmedRow(int) override {}
    void advanceSelection(int) override {}
    void planReplaced() override {}
};

class NoSource final : public PlanSource {
public:
    LoadResult loadDayPlan(DayPlan&, const LocalTime&) override { return LoadResult::NoRows; }
};

LocalTime at(int secondOfDay) {
    LocalTime t;
    t.year = 2024;
    t.month = 5;
    t.day = 6;
    t.hour = secondOfDay / 3600;
    t.minute = secondOfDay / 60 % 60;
    t.second = secondOfDay % 60;
    return t;
}

constexpr int kFirstEntry = 12 * 3600;
constexpr int kSpacing = 10;

// kRows entries from 12:00:00, ten seconds apart, alternating HH:MM:SS and HH:MM texts.
DayPlan dayPlan() {
    DayPlan plan;
    plan.setTitles(test::kPlanTitles);
    for (int r = 0; r < kRows; ++r) {
        const LocalTime t = at(kFirstEntry + r * kSpacing);
        char time[16];
        if (r % 2 == 0)
            std::snprintf(time, sizeof time, "%02d:%02d:%02d", t.hour, t.minute, t.second);
        else
            std::snprintf(time, sizeof time, "%02d:%02d", t.hour, t.minute);
        plan.append({std::to_string(r + 1), "", time, "上课", "上课.mp3", EntryState::Pending, ""});
    }
    return plan;
}

struct Bell {
    NoView view;
    NoSource source;
    test::RecordingPlayer single, track; // nothing fires: they stay empty
    Playback playback{single, track, "/nonexistent"};
    DayPlan plan = dayPlan();
    std::atomic<int> countdown{500};
    BellEngine engine{plan, view, source, playback, countdown};
};

// One armed tick that does not fire: the bell's work of every ordinary second.
void BM_Tick(benchmark::State& state) {
    Bell bell;
    constexpr int kFrom = 2 * 3600;
    bell.engine.reloadPlan(at(kFrom));
    int second = kFrom;
    for (auto _ : state) {
        if (++second >= kFirstEntry)
            second = kFrom; // a step back now and then, well before the first entry
        bell.engine.onTick(at(second));
    }
    if (bell.plan[0].state != EntryState::Pending)
        state.SkipWithError("an entry fired");
}
BENCHMARK(BM_Tick);

// Arming late in the day: every row but the last is done already.
void BM_ArmScanPastDoneRows(benchmark::State& state) {
    Bell bell;
    for (int r = 0; r + 1 < kRows; ++r)
        bell.plan[r].state = EntryState::Done;
    const LocalTime now = at(kFirstEntry + (kRows - 1) * kSpacing - 5);
    for (auto _ : state)
        benchmark::DoNotOptimize(bell.engine.armNextEntry(now));
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ArmScanPastDoneRows);

// Arming at a load late in the day: every row but the last is pending and passed, so each is read,
// compared and marked done. The statuses are put back outside the timing.
void BM_ArmScanMarkingPassedRows(benchmark::State& state) {
    Bell bell;
    const LocalTime now = at(kFirstEntry + (kRows - 1) * kSpacing - 5);
    for (auto _ : state) {
        state.PauseTiming();
        for (int r = 0; r < kRows; ++r)
            bell.plan[r].state = EntryState::Pending;
        state.ResumeTiming();
        benchmark::DoNotOptimize(bell.engine.armNextEntry(now));
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ArmScanMarkingPassedRows);

} // namespace
