#pragma once

#include "bell/BellEngine.h"
#include "bell/PlanSource.h"
#include "support/BellRig.h"
#include "support/FakeClock.h"
#include "support/PlanTitles.h"
#include "time/ClockText.h"
#include "time/LocalTime.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace halvix::test {

using Texts = std::vector<std::string>;

// "HH:MM:SS" on day `day` of May 2024 (the 6th is a Monday).
inline LocalTime at(const char* hms, int day = 6) {
    int h = 0, m = 0, s = 0;
    std::sscanf(hms, "%d:%d:%d", &h, &m, &s);
    return dateTime(2024, 5, day, h, m, s);
}

inline std::string stamp(const LocalTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return t.day == 6 ? text : std::to_string(t.day) + "日" + text;
}

struct Entry {
    std::string time;
    std::string sound;
};

inline DayPlan planOf(const std::vector<Entry>& entries) {
    DayPlan plan;
    plan.setTitles(test::kPlanTitles);
    int number = 0;
    for (const auto& e : entries)
        plan.append({std::to_string(++number), "", e.time, "", e.sound, EntryState::Pending, ""});
    return plan;
}

class FakeSource final : public PlanSource {
public:
    LoadResult loadDayPlan(DayPlan& plan, const LocalTime& now) override {
        loads.push_back(now);
        if (result != LoadResult::Loaded)
            return result;
        plan = dayPlan;
        return LoadResult::Loaded;
    }
    DayPlan dayPlan;
    LoadResult result = LoadResult::Loaded;
    std::vector<LocalTime> loads;
};

// The bell over a FakeSource in a program folder holding the sounds the tests name.
class BellTest : public ::testing::Test, protected test::BellRig<FakeSource> {
protected:
    BellTest() {
        for (const char* name :
             {"夜.mp3", "起.mp3", "起床.mp3", "早读.mp3", "预备.mp3", "上课.mp3", "广播.mp3", "下课.mp3",
              "晚自习.mp3", "放学.mp3", "熄灯.mp3", "晚安.mp3", "a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"})
            folder.write(std::string("voic/") + name, "");
        for (const char* name : {"voic/晨读/1.mp3", "voic/晨读/2.mp3", "voic/晨读/3.wav", "voic/晨读/读.txt",
                                 "voic/眼操/eyes.mp3", "voic/午休/a.wma", "voic/午休/b.mp3"})
            folder.write(name, "");
        track.lengthOf = {{"1.mp3", 2000},      {"2.mp3", 1000}, {"3.wav", 1500},
                          {"eyes.mp3", 300000}, {"a.wma", 5000}, {"b.mp3", 5000}};
    }

    // Loads `entries` as the plan every load yields and starts the program at `start`.
    bool startWith(const std::vector<Entry>& entries, const LocalTime& start) {
        source.dayPlan = planOf(entries);
        now = start;
        engine.reloadPlan(now);
        return engine.nothingLeft();
    }

    void tick(const LocalTime& t) {
        now = t;
        const auto singles = single.played.size();
        const auto tracks = track.played.size();
        engine.onTick(now);
        const auto singleNames = single.playedNames();
        for (auto i = singles; i < singleNames.size(); ++i)
            heard.push_back(stamp(now) + " " + singleNames[i]);
        const auto trackNames = track.playedNames();
        for (auto i = tracks; i < trackNames.size(); ++i)
            heard.push_back(stamp(now) + " 轨 " + trackNames[i]);
    }

    // One tick a second, up to and including `end`.
    void tickUntil(const LocalTime& end) {
        for (long long s = wallSecond(now) + 1; s <= wallSecond(end); ++s)
            tick(localTimeAt(s));
    }

    // "HH:MM:SS #row" of every firing.
    Texts firedRows() const {
        Texts out;
        for (const auto& firing : log.firings)
            out.push_back(stamp(firing.at) + " #" + std::to_string(firing.row));
        return out;
    }

    Texts statuses() const {
        Texts out;
        for (int r = 0; r < plan.size(); ++r)
            out.push_back(stateWord(plan[r].state));
        return out;
    }

    void deleteRow(int row) {
        plan.remove(row);
        engine.rowRemoved(row, now);
    }

    Texts heard; // "HH:MM:SS name" of every sound started, "轨" for playlist tracks
};

inline const std::string kDone = stateWord(EntryState::Done);
inline const std::string kPending = stateWord(EntryState::Pending);
inline const std::string kPassed = stateWord(EntryState::Passed);

} // namespace halvix::test
