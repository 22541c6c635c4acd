#pragma once

#include "store/TextTable.h"
#include "time/CivilDate.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvix {

// What a calendar entry decides for its dates. The stored texts are the names below.
enum class CalendarType {
    Silent, // 停铃: no bell rings
    MakeUp, // 调休: the dates ring as another weekday
    Exam,   // 考试: day type exam
    Daily,  // 日常: day type daily
    Spring, // 春季: spring term
    Autumn, // 秋季: autumn term
};

inline constexpr int kCalendarTypeCount = 6;

// One row of the table `calendar`: dates start..end, both included.
struct CalendarEntry {
    CivilDate start;
    CivilDate end;
    CalendarType type = CalendarType::Silent;
    int weekday = 0; // 调休: 1 Monday .. 7 Sunday; 0 for the other types
    std::string note;

    bool covers(const CivilDate& date) const { return start <= date && date <= end; }
    // Days from start to end; 0 for a single day.
    long long length() const;

    bool operator==(const CalendarEntry&) const = default;
};

// The column titles of the table and of its CSV files, in column order.
const TextList& calendarColumns();
inline constexpr std::size_t kCalendarColumnCount = 5;

std::string_view calendarTypeName(CalendarType type);
std::optional<CalendarType> calendarTypeFromName(std::string_view name);

// The five stored texts: 开始日期, 结束日期 ("YYYY-MM-DD"), 类型, 参数 (the weekday digit for 调休,
// empty otherwise), 备注.
TextList entryCells(const CalendarEntry& entry);
// The entry written in `cells` (five texts; missing ones read as empty). Dates as readDateText
// reads them; blanks around the type and the weekday are ignored; 参数 of other types is ignored.
// Nothing, with the reason in Chinese, for a row that does not say a valid entry.
std::optional<CalendarEntry> readEntryCells(const TextList& cells, std::string& reason);

// Why this entry cannot be stored (Chinese), or empty when it can: dates real, end not before
// start, a weekday 1..7 for 调休.
std::string entryProblem(const CalendarEntry& entry);
// The first entry that cannot be stored, as "第N行: ..." with N counted from 1, or empty.
std::string entriesProblem(const std::vector<CalendarEntry>& entries);

// Sorted by start date; entries with the same start keep their order (the later row of two equal
// ranges stays the later one, so the decision does not change).
void sortByStart(std::vector<CalendarEntry>& entries);

} // namespace halvix
