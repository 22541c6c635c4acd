#pragma once

#include "bell/window/MainDialog.h"
#include "store/TextTable.h"
#include "support/FakeClock.h"
#include "support/ScheduleFixture.h"
#include "support/ScriptedPrompts.h"
#include "support/StandaloneWindow.h"
#include "support/Widgets.h"

#include <memory>
#include <string>
#include <vector>

namespace halvix::test {

// Monday 4 March 2024 at the given time.
inline LocalTime monday(int hour, int minute, int second) {
    return {2024, 3, 4, hour, minute, second, 1};
}

// One row per entry: time, event, sound.
using Entries = std::vector<std::vector<std::string>>;

inline void insertEntries(const ScheduleFixture& db, const std::string& table, const Entries& entries) {
    std::vector<std::vector<std::string>> rows;
    int number = 90; // stored numbers are replaced by 1, 2, 3, ... when the plan loads
    for (const auto& e : entries)
        rows.push_back({std::to_string(number--), "星期一", e[0], e[1], e[2], "待完", ""});
    db.insertPlan(table, rows);
}

inline std::string firstValue(const ScheduleFixture& db, const std::string& table) {
    const auto rows = db.rows("select * from " + table);
    return rows.size() == 1 ? rows[0][0] : "rows: " + std::to_string(rows.size());
}

inline std::vector<std::string> column(const TextTable& plan, int c) {
    std::vector<std::string> out;
    for (int r = 0; r < plan.rowCount(); ++r)
        out.push_back(plan.cell(r, c));
    return out;
}

// A program folder whose four daily and exam tables each hold one entry named after the table.
struct Program {
    Program() {
        db.writeWeekFile("0"); // no school-week day: plain weekdays use the 正常 tables
        insertEntries(db, "zccjtime", {{"08:00", "春季正常", "上课.mp3"}});
        insertEntries(db, "zcqjtime", {{"08:00", "秋季正常", "上课.mp3"}});
        insertEntries(db, "kscjtime", {{"08:00", "春季考试", "上课.mp3"}});
        insertEntries(db, "ksqjtime", {{"08:00", "秋季考试", "上课.mp3"}});
    }
    std::unique_ptr<MainDialog> open() {
        return std::make_unique<StandaloneWindow>(db.folder(), clock, prompts);
    }
    // Opens at `time` on a spring weekday plan of `entries` alone.
    std::unique_ptr<MainDialog> openDay(const Entries& entries, const LocalTime& time) {
        db.run("delete from zccjtime");
        insertEntries(db, "zccjtime", entries);
        clock.time = time;
        return open();
    }

    ScheduleFixture db;
    FakeClock clock{monday(7, 0, 0)};
    ScriptedPrompts prompts;
};

} // namespace halvix::test
