#include "emergency/EmergencyState.h"

#include "common/IdText.h"
#include "common/JsonInput.h"
#include "common/SoundPath.h"
#include "common/TextChecks.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace halvix {

namespace {

using nlohmann::json;

std::string readProblem(const json& root, EmergencyState& state) {
    const auto format = unsignedField(root, "format");
    if (!format || *format != 1)
        return "紧急广播的格式版本不认识";
    const auto active = root.find("active");
    if (active == root.end() || !active->is_boolean())
        return "紧急广播缺少启用标记";
    state.active = active->get<bool>();
    if (root.contains("sound")) {
        const auto sound = textField(root, "sound");
        if (!sound)
            return "紧急广播的声音无效";
        // A cleared state may name no sound.
        if (std::string why = emergencySoundProblem(*sound);
            !why.empty() && !(sound->empty() && !state.active))
            return "紧急广播的声音无效: " + why;
        state.sound = *sound;
    }
    if (state.active && state.sound.empty())
        return "紧急广播缺少声音";
    if (const auto zones = root.find("zones"); zones != root.end()) {
        if (!zones->is_array() || zones->size() > kMaxEmergencyZones)
            return "紧急广播的区域无效";
        for (const json& zone : *zones) {
            if (!zone.is_string() || !isValidId(zone.get<std::string>()))
                return "紧急广播的区域编号无效";
            state.zones.push_back(zone.get<std::string>());
        }
    }
    if (root.contains("sinceMs")) {
        const auto since = integerField(root, "sinceMs");
        if (!since || *since < 0)
            return "紧急广播的开始时间无效";
        state.sinceMs = *since;
    }
    if (root.contains("by")) {
        const auto by = textField(root, "by");
        if (!by || (!by->empty() && !displayNameProblem(*by).empty()))
            return "紧急广播的发起者无效";
        state.by = *by;
    }
    return {};
}

} // namespace

bool EmergencyState::concerns(const std::optional<std::vector<std::string>>& ownZones) const {
    if (!active)
        return false;
    if (zones.empty() || !ownZones)
        return true;
    return std::any_of(zones.begin(), zones.end(), [&ownZones](const std::string& zone) {
        return std::find(ownZones->begin(), ownZones->end(), zone) != ownZones->end();
    });
}

std::string writeEmergency(const EmergencyState& state) {
    const json root = {{"format", 1},          {"active", state.active},   {"sound", state.sound},
                       {"zones", state.zones}, {"sinceMs", state.sinceMs}, {"by", state.by}};
    return root.dump(-1, ' ', false, json::error_handler_t::replace);
}

EmergencyRead readEmergency(std::string_view payload) {
    EmergencyRead read;
    const auto root = readJsonObject(payload, kMaxEmergencyPayload, 3, read.problem);
    if (!root) {
        read.problem = "紧急广播无法读取: " + read.problem;
        return read;
    }
    read.problem = readProblem(*root, read.state);
    if (!read.ok())
        read.state = {};
    return read;
}

std::string emergencySoundProblem(std::string_view sound) {
    if (sound.empty())
        return "没有声音";
    if (std::string why = soundNameProblem(sound); !why.empty())
        return why;
    // The alarm loops from memory: one file, never a folder of tracks.
    if (!namesSingleFile(sound))
        return "应为 voic 中的一个声音文件 (如 警报.mp3)";
    if (const auto refusal = soundTextRefusal(sound))
        return *refusal;
    return {};
}

std::string emergencyLine(const EmergencyState& state) {
    if (!state.active)
        return "没有紧急广播";
    std::string line = "紧急广播中: " + state.sound;
    if (!state.zones.empty()) {
        line += " (区域";
        for (const std::string& zone : state.zones)
            line += " " + zone;
        line += ")";
    }
    return line;
}

} // namespace halvix
