// Randomized days of the bell: a realistic plan a date, full reloads (the radio buttons), deleted
// rows, clock steps forward and back, sleeps, daylight-saving hours, late ticks and refused loads;
// and what staff and the campus do in the middle of a day: 今日静音 and 恢复响铃, 停铃 days of the
// calendar, a new plan from the central replacing today's (a reload), 立即播放 and 停止播放, an
// emergency started and cleared; and a sound server that begins to play a sound at once or a few
// seconds late, refuses it, cuts it off, or never answers. Whatever happens: no entry rings twice,
// an entry rings within a minute of its time, an entry is passed over only when it is a minute or
// more overdue, no entry passed while muted rings after 恢复响铃, nothing sounds during an emergency
// and an entry that rings outside one is heard, the bell never stays armed on an entry whose
// minute has gone, and every entry the bell fires gets exactly one outcome within a bound of
// ticks, 已响铃 only when the sound server began to play its sound.
//
// HALVIX_BELL_DAYS sets the number of days (300 here; scripts/soak.sh runs 10,000), HALVIX_BELL_SEED
// replays a run (HALVIX_BELL_TRACE=1 prints its clock steps and rings); the seed is printed with
// every failure.
#include "bell/BellEngine.h"
#include "bell/DayPlan.h"
#include "bell/OutcomeTracker.h"
#include "bell/PlanView.h"
#include "bell/Playback.h"
#include "bell/RingOutcome.h"
#include "support/FakeClock.h"
#include "support/RecordingPlayer.h"
#include "support/TempFolder.h"
#include "time/ClockText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace halvix {
namespace {

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

// The sound files of the plans: an entry's sound is told apart from its neighbours' by its index,
// so that the bell (which knows an entry by its time and sound texts) never confuses two of them.
constexpr int kSoundFiles = 16;
std::string soundOf(int index) {
    return "s" + std::to_string(index % kSoundFiles) + ".mp3";
}

// A school day: lessons from about 06:30 to 21:30, each begin and end an entry, with some HH:MM
// entries, some sharing a minute or a second, some a few seconds apart. Each later revision (a plan
// the central published again) drops some entries and adds others at seconds of their own.
// An entry's identity across reloads ("date:index") stands in its 备注 and its event.
DayPlan planOfDate(long long date, unsigned seed, int revision = 0) {
    std::mt19937 random(seed ^ static_cast<unsigned>(date * 2654435761u));
    DayPlan plan;
    plan.setTitles({"序号", "日期", "时间", "事件", "声音", "状态", "备注"});
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
    struct Row {
        int second; // its place in the plan
        std::string time;
        std::string id;
        int index;
    };
    std::vector<Row> rows;
    std::set<int> used;
    int index = 0;
    for (const auto& [at, ignored] : times) {
        const bool minute = random() % 3 == 0;
        const int shown = minute ? at / 60 * 60 : at;
        used.insert(at);
        rows.push_back(
            {at, clockText(shown, !minute), std::to_string(date) + ":" + std::to_string(index), index});
        ++index;
    }
    for (int r = 1; r <= revision; ++r) {
        std::mt19937 changes(seed ^ static_cast<unsigned>(date * 40503u + static_cast<unsigned>(r) * 97u));
        std::erase_if(rows, [&changes](const Row&) { return changes() % 6 == 0; });
        for (int added = static_cast<int>(changes() % 4); added > 0; --added) {
            const int at = 6 * 3600 + static_cast<int>(changes() % (16 * 3600));
            if (!used.insert(at).second)
                continue;
            const std::string id =
                std::to_string(date) + ":" + std::to_string(r) + "." + std::to_string(added);
            rows.push_back({at, clockText(at, true), id, 1000 + r * 8 + added});
        }
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return a.second < b.second; });
    // The entry's identity in its event too: that is how its outcome names it.
    for (const Row& row : rows)
        plan.append({std::to_string(plan.size() + 1), "", row.time, row.id, soundOf(row.index),
                     EntryState::Pending, row.id});
    return plan;
}

struct Entry {
    long long due;              // wall second on the date of its plan
    std::set<long long> rangOn; // the dates it rang on: a plan kept after refused loads rings on
                                // another date too, but never twice on one
};

// The list of the plan as the bell drives it, and whoever follows what became of each entry,
// judging each change and each outcome as it comes.
class Judge final : public PlanView, public PlanSource, public OutcomeObserver {
public:
    Judge(DayPlan& plan, const LocalTime& now, unsigned seed) : m_plan(plan), m_now(now), m_seed(seed) {}

    // PlanSource: the plan of the date of `now` in its latest revision, or a refusal now and then.
    // A 停铃 day of the calendar and a day muted by hand load an empty plan, as the calendar makes
    // the program's source do; the muted day's plan is kept aside for the entries logged silenced.
    LoadResult loadDayPlan(DayPlan& plan, const LocalTime& now) override {
        if (refuseLoads > 0) {
            --refuseLoads;
            return LoadResult::Failed;
        }
        const long long date = dayNumber(now);
        plan = planOfDate(date, m_seed, revisions[date]);
        for (int row = 0; row < plan.size(); ++row) {
            const auto time = readEntryTimeText(plan[row].time);
            m_entries.try_emplace(plan[row].extra, Entry{date * kDay + time->secondOfDay(), {}});
        }
        m_planDate = date;
        m_heldOn = {date};
        m_loadedAt = now;
        silencedPlan = DayPlan();
        if (silentDate(date) || mutedSince.contains(date)) {
            silencedPlan = plan;
            plan.clearEntries();
        }
        return LoadResult::Loaded;
    }

    // The calendar's word on the date loaded last, as the program's source gives it.
    std::optional<SilencedDay> silencedDay() const override {
        const bool byHand = mutedSince.contains(m_planDate);
        if (!byHand && !silentDate(m_planDate))
            return std::nullopt;
        return SilencedDay{&silencedPlan, m_planDate, byHand ? RingResult::MutedToday : RingResult::SilentDay,
                           byHand ? "今日静音" : "假日", m_loadedAt};
    }

    long long planDate() const { return m_planDate; }
    // The clock was on `date` with the plan loaded last (a plan kept on a date not its own when loads
    // are refused rings there by its times of day).
    void heldOn(long long date) { m_heldOn.insert(date); }
    // One date in about thirty is a 停铃 day (a holiday) of the calendar.
    bool silentDate(long long date) const {
        return (static_cast<unsigned>(date) * 2246822519u ^ m_seed) % 30 == 0;
    }

    // Judged once the bell's step is over: the row a firing marks is told of before the firing.
    void statusChanged(int row) override { m_marked.push_back(m_plan[row].extra); }
    void showArmedRow(int) override {}
    void advanceSelection(int row) override {
        const std::string& id = m_plan[row - 1].extra;
        Entry& entry = m_entries.at(id);
        EXPECT_TRUE(entry.rangOn.insert(dayNumber(m_now)).second) << "rang twice on a date: " << id;
        EXPECT_EQ(m_plan[row - 1].state, EntryState::Done) << "rang but not shown 完成: " << id;
        started.erase(id);
        m_heard.erase(id);
        EXPECT_FALSE(muted.contains(id)) << "rang after it was logged silenced by 今日静音: " << id;
        if (std::getenv("HALVIX_BELL_TRACE"))
            std::printf("ring %s at %lld %s\n", id.c_str(), dayNumber(m_now), m_plan[row - 1].time.c_str());
        // A plan kept after refused loads rings on a later date: judged by the time of day.
        const long long late = ((wallSecond(m_now) - entry.due) % kDay + kDay) % kDay;
        EXPECT_LT(late, BellEngine::kFireWindowSeconds) << "rang " << late << " s late: " << id;
        firedSounds.push_back(m_plan[row - 1].sound);
        firedIds.push_back(id);
        m_awaiting[id].push_back(tick);
        ++rang;
    }

    // OutcomeObserver: one outcome a firing, told within the tracker's bound; 已响铃 only for a sound
    // the server began to play; silenced at most once a date, not run at most once.
    void outcome(const RingOutcome& told) override {
        if (told.planTime.empty()) { // an action: 立即播放 heard only when it began to play
            if (told.result == RingResult::Manual) {
                EXPECT_TRUE(startedManual.contains(told.sound)) << "立即播放 " << told.sound << " told heard";
            }
            return;
        }
        const std::string& id = told.event;
        ++outcomes[told.result];
        switch (told.result) {
        case RingResult::Overdue:
            return; // passed over again after the clock went back over it: each passing is news
        case RingResult::SilentDay:
        case RingResult::MutedToday:
            EXPECT_TRUE(m_toldOnDate.insert({id, dayNumber(m_now), told.result}).second)
                << resultWord(told.result) << " twice on a date: " << id;
            if (told.result == RingResult::MutedToday) {
                EXPECT_EQ(m_entries.at(id).rangOn.count(dayNumber(m_now)), 0u)
                    << "muted after it rang: " << id;
                muted.insert(id);
                if (onMuted)
                    onMuted();
            }
            return;
        case RingResult::CutOff:
            EXPECT_TRUE(m_heard.contains(id)) << "cut off without being heard: " << id;
            return;
        default:
            break;
        }
        const auto awaiting = m_awaiting.find(id);
        ASSERT_TRUE(awaiting != m_awaiting.end())
            << resultWord(told.result) << " for an entry not fired: " << id;
        awaiting->second.erase(awaiting->second.begin());
        if (awaiting->second.empty())
            m_awaiting.erase(awaiting);
        if (told.result == RingResult::Rang) {
            EXPECT_TRUE(started.contains(id)) << "已响铃 but the server never began to play " << id;
            m_heard.insert(id);
        }
        EXPECT_NE(told.result, RingResult::NotRunning) << "a fired entry told 未运行: " << id;
    }
    void passedBeforeStart(const std::string&, const std::vector<RingOutcome>& entries) override {
        for (const RingOutcome& entry : entries) {
            EXPECT_EQ(entry.result, RingResult::NotRunning);
            EXPECT_TRUE(m_notRun.insert(entry.event).second) << "未运行 twice: " << entry.event;
        }
    }
    // Every firing has had its outcome by `ticksLater` ticks after it.
    void checkOutcomesCame(int ticksLater) {
        for (const auto& [id, firings] : m_awaiting)
            EXPECT_GT(firings.front(), tick - ticksLater)
                << "no outcome " << tick - firings.front() << " ticks after " << id << " fired";
    }
    void planReplaced() override {}

    // Every row marked done in the step that did not ring then: rang before (a reload marks it
    // again) or passed over, which only a minute or more after its time may be.
    void settle() {
        for (const std::string& id : m_marked) {
            const Entry& entry = m_entries.at(id);
            if (!entry.rangOn.empty() || muted.contains(id))
                continue;
            // A plan kept on another date after refused loads stands for that date's: its entries
            // pass by their time of day there.
            long long overdue = wallSecond(m_now) - entry.due;
            if (dayNumber(m_now) != entry.due / kDay)
                overdue = std::max(overdue, static_cast<long long>(m_now.secondOfDay() - entry.due % kDay));
            for (const long long date : m_heldOn)
                overdue = std::max(overdue, wallSecond(m_now) - (date * kDay + entry.due % kDay));
            EXPECT_GE(overdue, BellEngine::kFireWindowSeconds)
                << "passed over " << overdue << " s after its time: " << id;
            // Never rung: the list says 已过, not 完成.
            for (int row = 0; row < m_plan.size(); ++row) {
                if (m_plan[row].extra == id) {
                    EXPECT_EQ(m_plan[row].state, EntryState::Passed)
                        << "passed over but not shown 已过: " << id;
                }
            }
            ++skipped;
        }
        m_marked.clear();
    }

    int refuseLoads = 0;
    long long rang = 0;
    long long skipped = 0;
    long long tick = 0;                       // the bell's ticks so far
    std::vector<std::string> firedIds;        // the entries fired in this step
    std::set<std::string> started;            // entries whose sound the server began to play
    std::set<std::string> startedManual;      // sounds of 立即播放 it began to play
    std::map<RingResult, long long> outcomes; // how often each was told
    std::function<void()> onMuted;            // an entry was told silenced by 今日静音
    std::map<long long, int> revisions;       // date: how often the central replaced its plan
    std::map<long long, int> mutedSince;      // date muted by hand: the second of day it was
    DayPlan silencedPlan;                     // the plan a 停铃 or muted date would ring
    std::set<std::string> muted;              // entries logged silenced while their date was muted
    std::vector<std::string> firedSounds;     // the sounds of the entries fired in this step

private:
    DayPlan& m_plan;
    const LocalTime& m_now;
    unsigned m_seed;
    std::map<std::string, Entry> m_entries;
    std::vector<std::string> m_marked;
    long long m_planDate = 0;     // the date of the plan the bell holds
    std::set<long long> m_heldOn; // the dates the clock was on since that plan was loaded
    LocalTime m_loadedAt;
    std::map<std::string, std::vector<long long>> m_awaiting; // fired entries without an outcome: their ticks
    std::set<std::string> m_heard;
    std::set<std::string> m_notRun;
    std::set<std::tuple<std::string, long long, RingResult>> m_toldOnDate;
};

class Simulation {
public:
    explicit Simulation(unsigned seed) : m_seed(seed), m_random(seed), judge(plan, now, seed) {
        for (int i = 0; i < kSoundFiles; ++i)
            folder.write("voic/" + soundOf(i), "");
        engine.setOutcomeObserver(&judge);
        // 恢复响铃 now and then within a minute of an entry logged muted.
        judge.onMuted = [this] {
            if (!m_unmuteAt && chance(0.3))
                m_unmuteAt = wallSecond(now) + between(1, 50);
        };
    }

    void run(long long days) {
        const long long start = test::wallSecondOf(test::dateTime(2027, 3, 1, 0, 0, 30));
        const long long end = start + days * kDay;
        at(start);
        engine.reloadPlan(now);
        judge.settle();
        while (wallSecond(now) < end) {
            step();
            ASSERT_FALSE(::testing::Test::HasFailure()) << "seed " << m_seed << ", day " << dayNumber(now)
                                                        << " " << clockText(now.secondOfDay(), true);
        }
        // Whatever still waits for its outcome gets it within the tracker's bound (an entry may still
        // fire in these ticks: it is judged only once its bound has passed).
        for (int i = 0; i <= OutcomeTracker::kStartWaitTicks + kMaxReportTicks; ++i) {
            at(wallSecond(now) + 1);
            deliverReports();
            ++judge.tick;
            engine.onTick(now);
            judge.checkOutcomesCame(OutcomeTracker::kStartWaitTicks + 1);
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
        const long long date = dayNumber(now);
        if (m_emergencyUntil && wallSecond(now) >= m_emergencyUntil) {
            clearEmergency();
        } else if (m_unmuteAt && wallSecond(now) >= m_unmuteAt) {
            m_unmuteAt = 0;
            judge.mutedSince.erase(date); // 恢复响铃 within a minute of an entry logged muted
            engine.reloadPlan(now);
            judge.settle();
        } else if (chance(0.0005)) {
            judge.refuseLoads = static_cast<int>(between(1, 4));
        } else if (chance(0.0008)) {
            engine.reloadPlan(now); // a radio button
            judge.settle();
        } else if (chance(0.0008) && !plan.empty()) {
            const int row = static_cast<int>(between(0, plan.size() - 1));
            plan.remove(row); // a double click and OK
            engine.rowRemoved(row, now);
            judge.settle();
        } else if (chance(0.0004)) {
            // Clock set, a machine asleep, a daylight-saving hour, a date set wrong and back.
            static constexpr long long kSteps[] = {-kDay, -3600, 3600, kDay};
            next += chance(0.5) ? kSteps[between(0, 3)] : between(-3 * 3600, 10 * 3600);
        } else if (chance(0.0004)) {
            // 今日静音 or 恢复响铃: the calendar changes, and the program reloads.
            if (!judge.mutedSince.erase(date))
                judge.mutedSince[date] = now.secondOfDay();
            engine.reloadPlan(now);
            judge.settle();
        } else if (chance(0.0006)) {
            ++judge.revisions[date]; // the central published a new plan: applied, then reloaded
            ++applies;
            engine.reloadPlan(now);
            judge.settle();
        } else if (chance(0.0003) && !playback.held()) {
            // An emergency: what sounds stops and the plan is held until it is cleared.
            playback.stopAll();
            playback.hold(true);
            m_emergencyUntil = wallSecond(now) + between(10, 3 * 3600);
            ++emergencies;
        } else if (chance(0.001) && !playback.held()) {
            const std::string sound = soundOf(static_cast<int>(between(0, kSoundFiles - 1)));
            engine.playNow(sound, wallSecond(now) * 1000); // 立即播放
            scheduleReport(single.playback, sound, true);
        } else if (chance(0.001) && !playback.held()) {
            playback.stopAll(); // 停止播放
        } else if (chance(0.002)) {
            next += between(1, 5); // a late tick
        } else {
            next = quietUntil(next);
        }
        if (std::getenv("HALVIX_BELL_TRACE") && next != wallSecond(now) + 1)
            std::printf("%lld %s -> %+lld s\n", dayNumber(now), clockText(now.secondOfDay(), true).c_str(),
                        next - wallSecond(now));
        judge.heldOn(dayNumber(now));
        at(next);
        const std::size_t heardBefore = single.played.size();
        judge.firedSounds.clear();
        judge.firedIds.clear();
        deliverReports();
        ++judge.tick;
        engine.onTick(now);
        judge.settle();
        checkHeard(heardBefore);
        // Each entry heard here is a playback of the single player: what the server does with it.
        if (!playback.held())
            for (std::size_t i = 0; i < judge.firedIds.size(); ++i)
                scheduleReport(heardBefore + i + 1, judge.firedIds[i], false);
        judge.checkOutcomesCame(OutcomeTracker::kStartWaitTicks + 1);
        checkNotStalled();
    }

    // What the sound server does with a sound the bell started: begins to play it at once or a few
    // ticks late (and now and then cuts it off after), refuses it, or never answers.
    static constexpr int kMaxReportTicks = 3;
    struct Report {
        long long tick;
        unsigned long long playback;
        std::optional<SoundFault> fault; // none: it began to play
        std::string id;                  // the entry, or the sound of 立即播放
        bool manual;
    };
    void scheduleReport(unsigned long long playbackNumber, const std::string& id, bool manual) {
        const long long when = judge.tick + between(0, kMaxReportTicks);
        const double fate = std::uniform_real_distribution<>(0, 1)(m_random);
        if (fate < 0.8) {
            m_reports.push_back({when, playbackNumber, std::nullopt, id, manual});
            if (chance(0.05))
                m_reports.push_back({when + between(1, 4), playbackNumber, SoundFault::CutOff, id, manual});
        } else if (fate < 0.9) {
            const SoundFault fault = chance(0.5) ? SoundFault::NoOutput : SoundFault::Unplayable;
            m_reports.push_back({when, playbackNumber, fault, id, manual});
        } // else: no word at all
    }
    void deliverReports() {
        const long long nowMs = wallSecond(now) * 1000;
        for (auto report = m_reports.begin(); report != m_reports.end();) {
            if (report->tick > judge.tick) {
                ++report;
                continue;
            }
            if (!report->fault) {
                (report->manual ? judge.startedManual : judge.started).insert(report->id);
                playback.singleStarted(report->playback, "", nowMs);
            } else {
                playback.singleFailed(report->playback, *report->fault, "声音服务器说不", nowMs);
            }
            report = m_reports.erase(report);
        }
    }

    void clearEmergency() {
        playback.hold(false);
        playback.stopAll();
        // The armed entry was not prepared while held.
        if (const PlanEntry* armed = engine.armedEntry())
            playback.prepareSound(armed->sound);
        m_emergencyUntil = 0;
    }

    // During an emergency nothing of the plan sounds; outside one, every entry fired is heard.
    void checkHeard(std::size_t heardBefore) {
        std::vector<std::string> heard;
        for (auto path = single.played.begin() + static_cast<long>(heardBefore); path != single.played.end();
             ++path)
            heard.push_back(std::filesystem::path(*path).filename().string());
        if (playback.held()) {
            EXPECT_TRUE(heard.empty()) << "sounded during an emergency: " << heard.front();
            heldFirings += static_cast<long long>(judge.firedSounds.size());
        } else {
            EXPECT_EQ(heard, judge.firedSounds) << "the entries fired are not what was heard";
        }
    }

    // Skips ahead over seconds in which nothing can happen: armed on an entry that is not due yet,
    // no reload to come and no refused load waiting for its retry.
    long long quietUntil(long long next) const {
        if (!engine.armed() || engine.loadRetryTicks() >= 0 || engine.awaitingOutcome() || !m_reports.empty())
            return next;
        const long long reload = (wallSecond(now) / kDay + (now.secondOfDay() >= 3660 ? 1 : 0)) * kDay + 3660;
        long long until = reload - 2;
        // A muted day or an emergency ends in the middle of a day now and then.
        if (m_emergencyUntil)
            until = std::min(until, m_emergencyUntil);
        if (m_unmuteAt)
            until = std::min(until, m_unmuteAt);
        if (judge.mutedSince.contains(dayNumber(now)) || judge.silentDate(dayNumber(now)))
            until = std::min(until, wallSecond(now) + 900);
        if (engine.currentRow() >= 0) {
            const auto time = readEntryTimeText(plan[engine.currentRow()].time);
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
        const auto time = readEntryTimeText(plan[engine.currentRow()].time);
        ASSERT_TRUE(time);
        // An entry earlier on this day by a minute or more; the tick that ends the wait arms
        // without comparing, the next one must move on.
        const int past = now.secondOfDay() - time->secondOfDay();
        m_staleTicks = past >= BellEngine::kFireWindowSeconds ? m_staleTicks + 1 : 0;
        EXPECT_LE(m_staleTicks, 1) << "armed on an entry whose minute has gone: row " << engine.currentRow()
                                   << " " << plan[engine.currentRow()].time << " of " << plan.size();
    }

public:
    long long applies = 0;
    long long emergencies = 0;
    long long heldFirings = 0; // entries dealt with silently during an emergency

private:
    unsigned m_seed;
    std::mt19937_64 m_random;
    int m_staleTicks = 0;
    long long m_emergencyUntil = 0; // the wall second the emergency is cleared; 0 while none
    long long m_unmuteAt = 0;       // the wall second of a 恢复响铃 to come; 0 while none
    std::vector<Report> m_reports;  // what the sound server has still to say
    test::TempFolder folder;
    test::RecordingPlayer single;
    test::RecordingPlayer track;
    Playback playback{single, track, folder.path()};
    DayPlan plan;
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
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const Judge& judge = simulation.judgeOf();
    std::printf("%lld days, seed %u: %lld rang (%lld silent in %lld emergencies), %lld passed over, %zu "
                "logged muted, %lld plans applied, %.1f s\n",
                days, seed, judge.rang, simulation.heldFirings, simulation.emergencies, judge.skipped,
                judge.muted.size(), simulation.applies, seconds);
    std::printf("outcomes:");
    for (const auto& [result, count] : judge.outcomes)
        std::printf(" %s %lld", std::string(resultWord(result)).c_str(), count);
    std::printf("\n");
    EXPECT_GT(judge.rang, days * 10);
    // Each kind of outcome the server's answers lead to came about.
    for (const RingResult result : {RingResult::Rang, RingResult::NoOutput, RingResult::Unplayable,
                                    RingResult::CutOff, RingResult::Stopped, RingResult::Emergency})
        EXPECT_GT(judge.outcomes.count(result), 0u) << resultWord(result);
}

} // namespace
} // namespace halvix
