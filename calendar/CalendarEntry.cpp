#include "calendar/CalendarEntry.h"

#include "common/NumberText.h"

#include <algorithm>
#include <array>

namespace halvix {

namespace {

constexpr std::array<std::string_view, kCalendarTypeCount> kTypeNames = {
    "停铃", "调休", "考试", "日常", "春季", "秋季",
};

const std::string& cellAt(const TextList& cells, std::size_t index) {
    static const std::string empty;
    return index < cells.size() ? cells[index] : empty;
}

} // namespace

long long CalendarEntry::length() const {
    return dayNumber(end) - dayNumber(start);
}

const TextList& calendarColumns() {
    static const TextList columns = {"开始日期", "结束日期", "类型", "参数", "备注"};
    return columns;
}

std::string_view calendarTypeName(CalendarType type) {
    return kTypeNames[static_cast<std::size_t>(type)];
}

std::optional<CalendarType> calendarTypeFromName(std::string_view name) {
    for (std::size_t i = 0; i < kTypeNames.size(); ++i)
        if (kTypeNames[i] == name)
            return static_cast<CalendarType>(i);
    return std::nullopt;
}

TextList entryCells(const CalendarEntry& entry) {
    return {dateText(entry.start), dateText(entry.end), std::string(calendarTypeName(entry.type)),
            entry.type == CalendarType::MakeUp ? std::to_string(entry.weekday) : std::string(), entry.note};
}

std::optional<CalendarEntry> readEntryCells(const TextList& cells, std::string& reason) {
    CalendarEntry entry;
    const auto start = readDateText(cellAt(cells, 0));
    if (!start) {
        reason = "开始日期无效: \"" + cellAt(cells, 0) + "\"";
        return std::nullopt;
    }
    const auto end = readDateText(cellAt(cells, 1));
    if (!end) {
        reason = "结束日期无效: \"" + cellAt(cells, 1) + "\"";
        return std::nullopt;
    }
    const auto type = calendarTypeFromName(trimBlanks(cellAt(cells, 2)));
    if (!type) {
        reason = "未知的类型 \"" + cellAt(cells, 2) + "\" (应为 停铃、调休、考试、日常、春季 或 秋季)";
        return std::nullopt;
    }
    entry.start = *start;
    entry.end = *end;
    entry.type = *type;
    if (entry.type == CalendarType::MakeUp) {
        const std::string_view digit = trimBlanks(cellAt(cells, 3));
        entry.weekday = digit.size() == 1 && digit[0] >= '1' && digit[0] <= '7' ? digit[0] - '0' : 0;
        if (entry.weekday == 0) {
            reason = "调休的参数应为星期几 (1 到 7), 不是 \"" + cellAt(cells, 3) + "\"";
            return std::nullopt;
        }
    }
    entry.note = cellAt(cells, 4);
    reason = entryProblem(entry);
    if (!reason.empty())
        return std::nullopt;
    return entry;
}

std::string entryProblem(const CalendarEntry& entry) {
    if (!isRealDate(entry.start))
        return "开始日期无效: " + dateText(entry.start);
    if (!isRealDate(entry.end))
        return "结束日期无效: " + dateText(entry.end);
    if (entry.end < entry.start)
        return "结束日期早于开始日期";
    if (entry.type == CalendarType::MakeUp && (entry.weekday < 1 || entry.weekday > 7))
        return "调休的参数应为星期几 (1 到 7)";
    if (static_cast<int>(entry.type) < 0 || static_cast<int>(entry.type) >= kCalendarTypeCount)
        return "未知的类型";
    return {};
}

std::string entriesProblem(const std::vector<CalendarEntry>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string problem = entryProblem(entries[i]);
        if (!problem.empty())
            return "第" + std::to_string(i + 1) + "行: " + problem;
    }
    return {};
}

void sortByStart(std::vector<CalendarEntry>& entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const CalendarEntry& a, const CalendarEntry& b) { return a.start < b.start; });
}

} // namespace halvix
