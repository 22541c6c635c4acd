#pragma once

#include "ringlog/RingLog.h"

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <string_view>

namespace halvix::campus {

// One row of a node's ring log as it travels to the central on log/<node>:
// {"format":1,"node":"b1","moment":"2026-12-08 08:00:00.012","planTime":"08:00:00","event":"上课",
//  "sound":"上课.mp3","result":"已响铃","delayMs":12,"note":""}
std::string writeLogReport(std::string_view node, const RingRow& row);

// Checked like every payload from the network: a JSON object of at most 8 KiB, a valid node id, a
// moment "YYYY-MM-DD HH:MM:SS.mmm", a plan time that is empty or an entry time, a known result,
// texts without control characters, a sound that is empty or a plan's sound text, a delay of 0 to
// one day.
struct LogReportRead {
    std::string node;
    RingRow row;
    std::string problem;
    bool ok() const { return problem.empty(); }
};
LogReportRead readLogReport(std::string_view payload);

// A row's own fields, as they travel in a log report and among a today report's rings: put into
// `object`, and read back with the checks above (a problem in Chinese, empty when it reads).
void putRingRow(nlohmann::json& object, const RingRow& row);
std::string ringRowProblem(const nlohmann::json& object, RingRow& row);

} // namespace halvix::campus
