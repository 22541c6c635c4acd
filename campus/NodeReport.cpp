#include "campus/NodeReport.h"

#include "common/IdText.h"
#include "common/JsonInput.h"
#include "common/TextChecks.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cmath>

namespace halvix::campus {

namespace {

using nlohmann::json;

constexpr std::size_t kMaxReportPayload = 64 * 1024;
constexpr std::size_t kMaxListItems = 100;

std::string dump(const json& root) {
    return root.dump(-1, ' ', false, json::error_handler_t::replace);
}

// An optional text field: absent leaves `out` alone; present must be a shown text.
bool optionalText(const json& object, const char* key, std::string& out) {
    if (!object.contains(key))
        return true;
    const auto text = textField(object, key);
    if (!text || !isShownText(*text))
        return false;
    out = *text;
    return true;
}

bool optionalTexts(const json& object, const char* key, std::vector<std::string>& out) {
    const auto it = object.find(key);
    if (it == object.end())
        return true;
    if (!it->is_array() || it->size() > kMaxListItems)
        return false;
    for (const json& item : *it) {
        if (!item.is_string() || !isShownText(item.get<std::string>()))
            return false;
        out.push_back(item.get<std::string>());
    }
    return true;
}

bool optionalInteger(const json& object, const char* key, std::int64_t& out) {
    if (!object.contains(key))
        return true;
    const auto value = integerField(object, key);
    if (!value)
        return false;
    out = *value;
    return true;
}

bool optionalFlag(const json& object, const char* key, bool& out) {
    const auto it = object.find(key);
    if (it == object.end())
        return true;
    if (!it->is_boolean())
        return false;
    out = it->get<bool>();
    return true;
}

constexpr std::array<std::pair<AckResult, const char*>, 9> kResults{{
    {AckResult::Played, "已响铃"},
    {AckResult::MissingSound, "缺少声音"},
    {AckResult::Stopped, "已停止"},
    {AckResult::Muted, "已静音"},
    {AckResult::Unmuted, "已恢复响铃"},
    {AckResult::Reloaded, "已重新载入"},
    {AckResult::Refused, "已拒绝"},
    {AckResult::Expired, "已过期"},
    {AckResult::Failed, "执行失败"},
}};

std::string statusProblem(const json& root, NodeStatus& status) {
    const auto node = textField(root, "node");
    if (!node || !isValidId(*node))
        return "状态的节点编号缺少或无效";
    status.node = *node;
    const auto online = root.find("online");
    if (online == root.end() || !online->is_boolean())
        return "状态缺少在线标记";
    status.online = online->get<bool>();
    if (!optionalText(root, "name", status.name) || !optionalText(root, "today", status.today) ||
        !optionalText(root, "snapshotProblem", status.snapshotProblem) ||
        !optionalText(root, "version", status.version) || !optionalTexts(root, "zones", status.zones) ||
        !optionalTexts(root, "soundProblems", status.soundProblems) ||
        !optionalTexts(root, "zoneNames", status.zoneNames) ||
        !optionalFlag(root, "central", status.central) || !optionalInteger(root, "sentMs", status.sentMs))
        return "状态含有无效的字段";
    if (root.contains("revision")) {
        const auto revision = unsignedField(root, "revision");
        if (!revision)
            return "状态的版本号无效";
        status.revision = *revision;
    }
    if (const auto next = root.find("next"); next != root.end() && !next->is_null()) {
        NextEntry entry;
        if (!next->is_object() || !optionalText(*next, "time", entry.time) ||
            !optionalText(*next, "event", entry.event) || !optionalText(*next, "sound", entry.sound))
            return "状态的下一项无效";
        status.next = entry;
    }
    if (const auto last = root.find("lastRing"); last != root.end() && !last->is_null()) {
        LastRing ring;
        if (!last->is_object() || !optionalInteger(*last, "atMs", ring.atMs) ||
            !optionalText(*last, "time", ring.time) || !optionalText(*last, "event", ring.event) ||
            !optionalText(*last, "result", ring.result) || !optionalInteger(*last, "delayMs", ring.delayMs))
            return "状态的上次响铃无效";
        status.lastRing = ring;
    }
    if (const auto clock = root.find("clock"); clock != root.end()) {
        if (!clock->is_object() || !optionalFlag(*clock, "synchronised", status.clock.synchronised))
            return "状态的时钟无效";
        const auto offset = clock->find("offsetMs");
        if (offset != clock->end() && !offset->is_null()) {
            if (!offset->is_number() || !std::isfinite(offset->get<double>()))
                return "状态的时钟偏差无效";
            status.clock.offsetMs = offset->get<double>();
        }
    }
    if (const auto emergency = root.find("emergency"); emergency != root.end() && !emergency->is_null()) {
        EmergencyReport& report = status.emergency;
        if (!emergency->is_object() || !optionalFlag(*emergency, "active", report.active) ||
            !optionalFlag(*emergency, "sounding", report.sounding) ||
            !optionalText(*emergency, "sound", report.sound) ||
            !optionalText(*emergency, "problem", report.problem))
            return "状态的紧急广播无效";
    }
    return {};
}

} // namespace

std::string writeStatus(const NodeStatus& status) {
    json root = {{"format", 1},
                 {"node", status.node},
                 {"name", status.name},
                 {"zones", status.zones},
                 {"zoneNames", status.zoneNames},
                 {"central", status.central},
                 {"online", status.online},
                 {"revision", status.revision},
                 {"snapshotProblem", status.snapshotProblem},
                 {"today", status.today},
                 {"soundProblems", status.soundProblems},
                 {"version", status.version},
                 {"sentMs", status.sentMs}};
    root["next"] =
        status.next
            ? json{{"time", status.next->time}, {"event", status.next->event}, {"sound", status.next->sound}}
            : json(nullptr);
    root["lastRing"] = status.lastRing ? json{{"atMs", status.lastRing->atMs},
                                              {"time", status.lastRing->time},
                                              {"event", status.lastRing->event},
                                              {"result", status.lastRing->result},
                                              {"delayMs", status.lastRing->delayMs}}
                                       : json(nullptr);
    root["emergency"] = {{"active", status.emergency.active},
                         {"sounding", status.emergency.sounding},
                         {"sound", status.emergency.sound},
                         {"problem", status.emergency.problem}};
    root["clock"] = {{"synchronised", status.clock.synchronised},
                     {"offsetMs", status.clock.offsetMs ? json(*status.clock.offsetMs) : json(nullptr)}};
    return dump(root);
}

std::string writeOfflineStatus(std::string_view node) {
    return dump({{"format", 1}, {"node", std::string(node)}, {"online", false}});
}

StatusRead readStatus(std::string_view payload) {
    StatusRead read;
    const auto root = readJsonObject(payload, kMaxReportPayload, 4, read.problem);
    if (!root)
        return read;
    read.problem = statusProblem(*root, read.status);
    if (!read.ok())
        read.status = {};
    return read;
}

const char* ackLabel(AckResult result) {
    for (const auto& [value, label] : kResults)
        if (value == result)
            return label;
    return "";
}

std::optional<AckResult> ackResultOf(std::string_view label) {
    for (const auto& [value, text] : kResults)
        if (label == text)
            return value;
    return std::nullopt;
}

std::string writeAck(const CommandAck& ack) {
    return dump({{"format", 1},
                 {"node", ack.node},
                 {"command", ack.command},
                 {"result", ackLabel(ack.result)},
                 {"detail", ack.detail},
                 {"atMs", ack.atMs}});
}

AckRead readAck(std::string_view payload) {
    AckRead read;
    const auto root = readJsonObject(payload, kMaxReportPayload, 2, read.problem);
    if (!root)
        return read;
    const auto node = textField(*root, "node");
    const auto command = textField(*root, "command");
    const auto result = textField(*root, "result");
    const auto atMs = integerField(*root, "atMs");
    const auto known = std::find_if(kResults.begin(), kResults.end(),
                                    [&result](const auto& r) { return result && *result == r.second; });
    if (!node || !isValidId(*node) || !command || command->empty() || !isShownText(*command) ||
        known == kResults.end() || !atMs || !optionalText(*root, "detail", read.ack.detail)) {
        read.problem = "应答含有无效的字段";
        read.ack = {};
        return read;
    }
    read.ack.node = *node;
    read.ack.command = *command;
    read.ack.result = known->first;
    read.ack.atMs = *atMs;
    return read;
}

} // namespace halvix::campus
