#pragma once

#include "ringlog/RingLog.h"

#include <string>
#include <string_view>
#include <vector>

namespace halvix {
class DayPlan;
}

namespace halvix::campus {

// A node's plan of the day as its window shows it, retained on today/<node>, so that the central
// sees what each building will ring and what it rang.
struct TodayEntry {
    std::string time;
    std::string event;
    std::string sound;
    std::string status; // the plan's status column: 待完, 完成, 已过
    bool operator==(const TodayEntry&) const = default;
};

struct TodayReport {
    std::string node;
    std::string date;     // "YYYY-MM-DD"
    std::string decision; // the day line: how the calendar decided the day
    std::vector<TodayEntry> entries;
    std::vector<RingRow> rings; // the node's ring-log rows of the date, the last kMaxTodayRings
    bool operator==(const TodayReport&) const = default;
};

inline constexpr std::size_t kMaxTodayEntries = 500;
inline constexpr std::size_t kMaxTodayRings = 100;

// The report of `plan` (the bell's plan of the day, in its column order); rows beyond
// kMaxTodayEntries are left out.
TodayReport todayReportOf(std::string node, std::string date, std::string decision, const DayPlan& plan);

// Keeps of `rings` (oldest first) the rows of `date`, the last kMaxTodayRings of them.
void keepRingsOf(const std::string& date, std::vector<RingRow>& rings);

std::string writeTodayReport(const TodayReport& report);

// Checked: a JSON object of at most 256 KiB, a valid node id, a real date, at most
// kMaxTodayEntries entries, each a time text, texts without control characters; rings (optional)
// at most kMaxTodayRings rows, each checked as a log report's row is.
struct TodayReportRead {
    TodayReport report;
    std::string problem;
    bool ok() const { return problem.empty(); }
};
TodayReportRead readTodayReport(std::string_view payload);

} // namespace halvix::campus
