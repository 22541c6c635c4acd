#include "campus/LogReport.h"

#include "bell/RingResult.h"
#include "common/IdText.h"
#include "common/JsonInput.h"
#include "common/TextChecks.h"
#include "time/CivilDate.h"
#include "time/ClockText.h"

#include <nlohmann/json.hpp>

#include <array>

namespace halvix::campus {

namespace {

using nlohmann::json;

constexpr std::size_t kMaxLogPayload = 8 * 1024;
constexpr std::int64_t kMaxDelayMs = 86400 * 1000LL;

bool isKnownResult(std::string_view result) {
    return resultOfWord(result).has_value();
}

// "YYYY-MM-DD HH:MM:SS.mmm", as the ring log writes its moments.
bool isMoment(std::string_view moment) {
    if (moment.size() != 23 || moment[10] != ' ' || moment[19] != '.')
        return false;
    for (std::size_t i = 20; i < 23; ++i)
        if (moment[i] < '0' || moment[i] > '9')
            return false;
    return readDateText(moment.substr(0, 10)) && readEntryTimeText(moment.substr(11, 8));
}

} // namespace

std::string ringRowProblem(const json& root, RingRow& row) {
    const auto moment = textField(root, "moment");
    if (!moment || !isMoment(*moment))
        return "记录的时刻无效";
    row.moment = *moment;
    const auto result = textField(root, "result");
    if (!result || !isKnownResult(*result))
        return "记录的结果无效";
    row.result = *result;
    if (const char* bad = readShownTexts(
            root,
            {{"planTime", &row.planTime}, {"event", &row.event}, {"sound", &row.sound}, {"note", &row.note}}))
        return std::string("记录的字段 ") + bad + " 无效";
    if (!row.planTime.empty() && !readEntryTimeText(row.planTime))
        return "记录的计划时间无效";
    const auto delay = integerField(root, "delayMs");
    if (!delay || *delay < 0 || *delay > kMaxDelayMs)
        return "记录的延迟无效";
    row.delayMs = *delay;
    return {};
}

namespace {

std::string rowProblem(const json& root, LogReportRead& read) {
    const auto node = textField(root, "node");
    if (!node || !isValidId(*node))
        return "记录的节点编号缺少或无效";
    read.node = *node;
    return ringRowProblem(root, read.row);
}

} // namespace

void putRingRow(json& object, const RingRow& row) {
    object["moment"] = row.moment;
    object["planTime"] = row.planTime;
    object["event"] = row.event;
    object["sound"] = row.sound;
    object["result"] = row.result;
    object["delayMs"] = row.delayMs;
    object["note"] = row.note;
}

std::string writeLogReport(std::string_view node, const RingRow& row) {
    json root = {{"format", 1}, {"node", std::string(node)}};
    putRingRow(root, row);
    return root.dump(-1, ' ', false, json::error_handler_t::replace);
}

LogReportRead readLogReport(std::string_view payload) {
    LogReportRead read;
    const auto root = readJsonObject(payload, kMaxLogPayload, 2, read.problem);
    if (!root)
        return read;
    if (unsignedField(*root, "format") != 1u)
        read.problem = "记录的格式版本未知";
    else
        read.problem = rowProblem(*root, read);
    if (!read.ok())
        read = {{}, {}, read.problem};
    return read;
}

} // namespace halvix::campus
