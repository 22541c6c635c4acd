#include "campus/TodayReport.h"

#include "bell/DayPlan.h"
#include "campus/LogReport.h"
#include "common/IdText.h"
#include "common/JsonInput.h"
#include "common/TextChecks.h"
#include "time/CivilDate.h"
#include "time/ClockText.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace halvix::campus {

namespace {

using nlohmann::json;

constexpr std::size_t kMaxTodayPayload = 256 * 1024;

std::string entryProblem(const json& item, TodayEntry& entry) {
    if (!item.is_object())
        return "今日计划的一项不是对象";
    if (const char* bad = readShownTexts(item, {{"time", &entry.time},
                                                {"event", &entry.event},
                                                {"sound", &entry.sound},
                                                {"status", &entry.status}}))
        return std::string("今日计划一项的字段 ") + bad + " 无效";
    if (!readEntryTimeText(entry.time))
        return "今日计划一项的时间无效: " + entry.time;
    return {};
}

std::string ringsProblem(const json& root, std::vector<RingRow>& rings) {
    const auto found = root.find("rings");
    if (found == root.end())
        return {};
    if (!found->is_array() || found->size() > kMaxTodayRings)
        return "今日响铃记录不是列表或过多";
    for (const json& item : *found) {
        RingRow row;
        if (!item.is_object())
            return "今日响铃记录的一行不是对象";
        if (std::string problem = ringRowProblem(item, row); !problem.empty())
            return problem;
        rings.push_back(std::move(row));
    }
    return {};
}

std::string reportProblem(const json& root, TodayReport& report) {
    if (unsignedField(root, "format") != 1u)
        return "今日计划的格式版本未知";
    const auto node = textField(root, "node");
    if (!node || !isValidId(*node))
        return "今日计划的节点编号缺少或无效";
    report.node = *node;
    const auto date = textField(root, "date");
    if (!date || !readDateText(*date))
        return "今日计划的日期无效";
    report.date = *date;
    const auto decision = textField(root, "decision");
    if (!decision || !isShownText(*decision))
        return "今日计划的说明无效";
    report.decision = *decision;
    const auto entries = root.find("entries");
    if (entries == root.end() || !entries->is_array() || entries->size() > kMaxTodayEntries)
        return "今日计划的条目缺少或过多";
    for (const json& item : *entries) {
        TodayEntry entry;
        if (std::string problem = entryProblem(item, entry); !problem.empty())
            return problem;
        report.entries.push_back(std::move(entry));
    }
    return ringsProblem(root, report.rings);
}

} // namespace

TodayReport todayReportOf(std::string node, std::string date, std::string decision, const DayPlan& plan) {
    TodayReport report{std::move(node), std::move(date), std::move(decision), {}, {}};
    const int rows = std::min(plan.size(), static_cast<int>(kMaxTodayEntries));
    for (int row = 0; row < rows; ++row)
        report.entries.push_back(
            {plan[row].time, plan[row].event, plan[row].sound, stateWord(plan[row].state)});
    return report;
}

void keepRingsOf(const std::string& date, std::vector<RingRow>& rings) {
    std::erase_if(rings,
                  [&date](const RingRow& row) { return row.moment.compare(0, date.size(), date) != 0; });
    if (rings.size() > kMaxTodayRings)
        rings.erase(rings.begin(), rings.end() - std::ptrdiff_t(kMaxTodayRings));
}

std::string writeTodayReport(const TodayReport& report) {
    json entries = json::array();
    for (const TodayEntry& entry : report.entries)
        entries.push_back(
            {{"time", entry.time}, {"event", entry.event}, {"sound", entry.sound}, {"status", entry.status}});
    json rings = json::array();
    const std::size_t first = report.rings.size() > kMaxTodayRings ? report.rings.size() - kMaxTodayRings : 0;
    for (std::size_t i = first; i < report.rings.size(); ++i) {
        json row = json::object();
        putRingRow(row, report.rings[i]);
        rings.push_back(std::move(row));
    }
    const json root = {{"format", 1},
                       {"node", report.node},
                       {"date", report.date},
                       {"decision", report.decision},
                       {"entries", std::move(entries)},
                       {"rings", std::move(rings)}};
    return root.dump(-1, ' ', false, json::error_handler_t::replace);
}

TodayReportRead readTodayReport(std::string_view payload) {
    TodayReportRead read;
    const auto root = readJsonObject(payload, kMaxTodayPayload, 3, read.problem);
    if (!root)
        return read;
    read.problem = reportProblem(*root, read.report);
    if (!read.ok())
        read.report = {};
    return read;
}

} // namespace halvix::campus
