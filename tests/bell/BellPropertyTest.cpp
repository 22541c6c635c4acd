// Randomized days of the bell: a realistic plan a date, full reloads (the radio buttons), deleted
// rows, clock steps forward and back, sleeps, daylight-saving hours, late ticks and refused loads.
// Whatever happens: no entry rings twice, an entry rings within a minute of its time, an entry is
// passed over only when it is a minute or more overdue, and the bell never stays armed on an entry
// whose minute has gone (no stall).
//
// HALVIX_BELL_DAYS sets the number of days (300 here; scripts/soak.sh runs 10,000), HALVIX_BELL_SEED
// replays a run (HALVIX_BELL_TRACE=1 prints its clock steps and rings); the seed is printed with
// every failure.
#include "bell/BellEngine.h"
#include "bell/Playback.h"
#include "bell/PlanView.h"
#include "store/TextTable.h"
#include "support/FakeClock.h"
#include "support/RecordingPlayer.h"
#include "support/TempFolder.h"
#include "time/ClockText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <map>
#include <set>
#include <vector>
#include <string>

namespace halvix {
namespace {

constexpr int kIdColumn = 6; // "date:index", the entry's identity across reloads
constexpr long long kDay = kSecondsPerDay;

long long envNumber(const char* name, long long fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::atoll(text) : fallback;
}

std::string clockText(int second, bool withSeconds) {
    char text[16];
    if (withSeconds)
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", second / 3600, second / 60 % 60, second % 60);
    else
        std::snprintf(text, sizeof text, "%02d:%02d", second / 3600, second / 60 % 60);
    return text;
}

// A school day: lessons from about 06:30 to 21:30, each begin and end an entry, with some HH:MM
// entries, some sharing a minute or a second, some a few seconds apart.
TextTable planOfDate(long long date, unsigned seed) {
    std::mt19937 random(seed ^ static_cast<unsigned>(date * 2654435761u));
    TextTable plan;
    plan.setColumns({"序号", "日期", "时间", "事件", "声音", "状态", "备注"});
    std::set<std::pair<int, int>> times; // (second, order) keeps the plan sorted like the query
    int second = 6 * 3600 + 30 * 60 + static_cast<int>(random() % 1800);
    int order = 0;
    while (second < 21 * 3600 + 30 * 60) {
        times.insert({second, order++});
        if (random() % 8 == 0)
            times.insert({second + static_cast<int>(random() % 4), order++}); // close together
        second += 300 + static_cast<int>(random() % 3000);
    }
    if (random() % 4 == 0)
        times.insert({1 * 3600 + 1 * 60 + static_cast<int>(random() % 60), order++}); // the reload's minute
    if (random() % 4 == 0)
        times.insert({23 * 3600 + 59 * 60 + 30, order++}); // rings across midnight
    int index = 0;
    for (const auto& [at, ignored] : times) {
        const bool minute = random() % 3 == 0;
        const int shown = minute ? at / 60 * 60 : at;
        const std::string id = std::to_string(date) + ":" + std::to_string(index++);
        plan.appendRow({"", "", clockText(shown, !minute), "", "e" + id + ".mp3", BellEngine::kPending, id});
    }
    plan.renumber();
    return plan;
}

struct Entry {
    long long due; // wall second on the date of its plan
    std::set<long long> rangOn; // the dates it rang on: a plan kept after refused loads rings on
                                // another date too, but never twice on one
};

// The list of the plan as the bell drives it, judging each change as it comes.
class Judge final : public PlanView, public PlanSource {
public:
    Judge(TextTable& plan, const LocalTime& now, unsigned seed) : m_plan(plan), m_now(now), m_seed(seed) {}

    // PlanSource: the plan of the date of `now`, or a refusal now and then.
    LoadResult loadDayPlan(TextTable& plan, const LocalTime& now) override {
        if (refuseLoads > 0) {
            --refuseLoads;
            return LoadResult::Failed;
        }
        const long long date = dayNumber(now);
        plan = planOfDate(date, m_seed);
        for (int row = 0; row < plan.rowCount(); ++row) {
            const auto time = readEntryTimeText(plan.cell(row, BellEngine::kTimeColumn));
            m_entries.try_emplace(plan.cell(row, kIdColumn), Entry{date * kDay + time->secondOfDay(), {}});
        }
        return LoadResult::Loaded;
    }

    // Judged once the bell's step is over: the row a firing marks is told of before the firing.
    void statusChanged(int row) override { m_marked.push_back(m_plan.cell(row, kIdColumn)); }
    void showArmedRow(int) override {}
    void advanceSelection(int row) override {
        const std::string& id = m_plan.cell(row - 1, kIdColumn);
        Entry& entry = m_entries.at(id);
        EXPECT_TRUE(entry.rangOn.insert(dayNumber(m_now)).second) << "rang twice on a date: " << id;
        if (std::getenv("HALVIX_BELL_TRACE"))
            std::printf("ring %s at %lld %s\n", id.c_str(), dayNumber(m_now), m_plan.cell(row - 1, 2).c_str());
        // A plan kept after refused loads rings on a later date: judged by the time of day.
        const long long late = ((wallSecond(m_now) - entry.due) % kDay + kDay) % kDay;
        EXPECT_LT(late, BellEngine::kFireWindowSeconds) << "rang " << late << " s late: " << id;
        ++rang;
    }
    void planReplaced() override {}

    // Every row marked done in the step that did not ring then: rang before (a reload marks it
    // again) or passed over, which only a minute or more after its time may be.
    void settle() {
        for (const std::string& id : m_marked) {
            const Entry& entry = m_entries.at(id);
            if (!entry.rangOn.empty())
                continue;
            // A plan kept on another date after refused loads stands for that date's: its entries
            // pass by their time of day there.
            long long overdue = wallSecond(m_now) - entry.due;
            if (dayNumber(m_now) != entry.due / kDay)
                overdue = std::max(overdue, static_cast<long long>(m_now.secondOfDay() - entry.due % kDay));
            EXPECT_GE(overdue, BellEngine::kFireWindowSeconds) << "passed over " << overdue << " s after its time: " << id;
            ++skipped;
        }
        m_marked.clear();
    }

    int refuseLoads = 0;
    long long rang = 0;
    long long skipped = 0;

private:
    TextTable& m_plan;
    const LocalTime& m_now;
    unsigned m_seed;
    std::map<std::string, Entry> m_entries;
    std::vector<std::string> m_marked;
};

class Simulation {
public:
    explicit Simulation(unsigned seed) : m_seed(seed), m_random(seed), judge(plan, now, seed) {}

    void run(long long days) {
        const long long start = test::wallSecondOf(test::dateTime(2027, 3, 1, 0, 0, 30));
        const long long end = start + days * kDay;
        at(start);
        engine.reloadPlan(now);
        judge.settle();
        while (wallSecond(now) < end) {
            step();
            ASSERT_FALSE(::testing::Test::HasFailure())
                << "seed " << m_seed << ", day " << dayNumber(now) << " " << clockText(now.secondOfDay(), true);
        }
    }

    Judge& judgeOf() { return judge; }

private:
    bool chance(double p) { return std::uniform_real_distribution<>(0, 1)(m_random) < p; }
    long long between(long long low, long long high) {
        return std::uniform_int_distribution<long long>(low, high)(m_random);
    }
    void at(long long wall) { now = test::localTimeAt(wall); }

    void step() {
        long long next = wallSecond(now) + 1;
        if (chance(0.0005)) {
            judge.refuseLoads = static_cast<int>(between(1, 4));
        } else if (chance(0.0008)) {
            engine.reloadPlan(now); // a radio button
            judge.settle();
        } else if (chance(0.0008) && plan.rowCount() > 0) {
            const int row = static_cast<int>(between(0, plan.rowCount() - 1));
            plan.removeRow(row); // a double click and OK
            engine.rowRemoved(row, now);
            judge.settle();
        } else if (chance(0.0004)) {
            // Clock set, a machine asleep, a daylight-saving hour, a date set wrong and back.
            static constexpr long long kSteps[] = {-kDay, -3600, 3600, kDay};
            next += chance(0.5) ? kSteps[between(0, 3)] : between(-3 * 3600, 10 * 3600);
        } else if (chance(0.002)) {
            next += between(1, 5); // a late tick
        } else {
            next = quietUntil(next);
        }
        if (std::getenv("HALVIX_BELL_TRACE") && next != wallSecond(now) + 1)
            std::printf("%lld %s -> %+lld s\n", dayNumber(now), clockText(now.secondOfDay(), true).c_str(),
                        next - wallSecond(now));
        at(next);
        engine.onTick(now);
        judge.settle();
        checkNotStalled();
    }

    // Skips ahead over seconds in which nothing can happen: armed on an entry that is not due yet,
    // no reload to come and no refused load waiting for its retry.
    long long quietUntil(long long next) const {
        if (!engine.armed() || engine.loadRetryTicks() >= 0)
            return next;
        const long long reload = (wallSecond(now) / kDay + (now.secondOfDay() >= 3660 ? 1 : 0)) * kDay + 3660;
        long long until = reload - 2;
        if (engine.currentRow() >= 0) {
            const auto time = readEntryTimeText(plan.cell(engine.currentRow(), BellEngine::kTimeColumn));
            long long due = wallSecond(now) / kDay * kDay + time->secondOfDay();
            if (due < wallSecond(now) - kDay / 2)
                due += kDay;
            until = std::min(until, due - 2);
        }
        return std::max(next, until);
    }

    void checkNotStalled() {
        if (!engine.armed()) {
            EXPECT_LT(engine.armCount(), BellEngine::kWaitTicks) << "the bell stopped comparing";
            m_staleTicks = 0;
            return;
        }
        if (engine.currentRow() < 0) {
            m_staleTicks = 0;
            return;
        }
        const auto time = readEntryTimeText(plan.cell(engine.currentRow(), BellEngine::kTimeColumn));
        ASSERT_TRUE(time);
        // An entry earlier on this day by a minute or more; the tick that ends the wait arms
        // without comparing, the next one must move on.
        const int past = now.secondOfDay() - time->secondOfDay();
        m_staleTicks = past >= BellEngine::kFireWindowSeconds ? m_staleTicks + 1 : 0;
        EXPECT_LE(m_staleTicks, 1) << "armed on an entry whose minute has gone: row " << engine.currentRow() << " "
                                   << plan.cell(engine.currentRow(), BellEngine::kTimeColumn) << " of " << plan.rowCount();
    }

    unsigned m_seed;
    std::mt19937_64 m_random;
    int m_staleTicks = 0;
    test::TempFolder folder;
    test::RecordingPlayer single;
    test::RecordingPlayer track;
    Playback playback{single, track, folder.path()};
    TextTable plan;
    LocalTime now;
    std::atomic<int> countdown{500};
    Judge judge;
    BellEngine engine{plan, judge, judge, playback, countdown};
};

TEST(BellProperty, RandomDaysRingEveryEntryOnceInItsMinuteAndNeverStall) {
    const auto seed = static_cast<unsigned>(envNumber("HALVIX_BELL_SEED", std::random_device{}()));
    const long long days = envNumber("HALVIX_BELL_DAYS", 300);
    SCOPED_TRACE("HALVIX_BELL_SEED=" + std::to_string(seed));
    const auto started = std::chrono::steady_clock::now();
    Simulation simulation(seed);
    simulation.run(days);
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%lld days, seed %u: %lld rang, %lld passed over, %.1f s\n", days, seed,
                simulation.judgeOf().rang, simulation.judgeOf().skipped, seconds);
    EXPECT_GT(simulation.judgeOf().rang, days * 10);
}

} // namespace
} // namespace halvix
