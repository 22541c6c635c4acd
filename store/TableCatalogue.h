#pragma once

#include "store/TextTable.h"

#include <array>
#include <string>

namespace halvix {

// Status texts of a plan row: only "待完" rows ring.
inline constexpr const char* kPending = "待完";
inline constexpr const char* kDone = "完成";
// Passed without ringing: before the program started, or over a minute overdue.
inline constexpr const char* kPassed = "已过";

// Column positions of a plan row.
enum PlanColumn {
    NumberColumn = 0,
    DateColumn,
    TimeColumn,
    EventColumn,
    SoundColumn,
    StatusColumn,
    ExtraColumn
};
inline constexpr int kPlanColumnCount = 7;

// One scheduled entry as stored in a plan table and shown in the lists.
struct PlanRow {
    std::string number;
    std::string date;
    std::string time;
    std::string event;
    std::string sound;
    std::string status = kPending;
    std::string extra;

    TextList cells() const { return {number, date, time, event, sound, status, extra}; }
    bool operator==(const PlanRow&) const = default;
};

// Rows flattened to seven cells each, the form the table writer takes.
TextList flattenRows(const std::vector<PlanRow>& rows);

namespace tables {
inline constexpr const char* cjtime = "cjtime";         // spring, first school day
inline constexpr const char* zccjtime = "zccjtime";     // spring, other school days
inline constexpr const char* qjtime = "qjtime";         // autumn, first school day
inline constexpr const char* zcqjtime = "zcqjtime";     // autumn, other school days
inline constexpr const char* fridtime = "fridtime";     // last school day, both terms
inline constexpr const char* sundaytime = "sundaytime"; // the day before the first school day
inline constexpr const char* kscjtime = "kscjtime";     // spring, fixed entries of every exam day
inline constexpr const char* ksqjtime = "ksqjtime";     // autumn, fixed entries of every exam day
inline constexpr const char* sjtime = "sjtime";         // generated exam broadcast, all dates
inline constexpr const char* lxtime = "lxtime";         // day type "1" daily, "2" exam
inline constexpr const char* jjtime = "jjtime";         // season "1" spring, "2" autumn
inline constexpr const char* settable = "settable";     // the eight exam settings
} // namespace tables

// A plan table as the data dialog offers it.
struct PlanTableInfo {
    int code;
    const char* table;
    const char* label;
    const char* group; // "春季", "秋季" or "" for the tables of both terms
};
const std::array<PlanTableInfo, 9>& planTables();
// The table of a data-dialog code 1..9; empty for any other code.
std::string planTableName(int code);

namespace sql {
// "select * from <table> order by 时间 ASC"
std::string dailyPlan(const std::string& table);
// Today's generated exam rows with the term's fixed exam entries, in time order.
std::string examDayPlan(int season, const std::string& dateText);
std::string selectAll(const std::string& table);
} // namespace sql

// "%d月%d日", no leading zeros: the form of the 日期 column of the generated exam plan.
std::string dateText(int month, int day);

} // namespace halvix
