#include "campus/CampusStatusText.h"

#include <cstdio>

namespace halvix::campus {

namespace {

std::string brokerText(const BrokerAddress& broker) {
    return std::string(broker.tls ? "mqtts://" : "mqtt://") + broker.host + ":" + std::to_string(broker.port);
}

std::string zonesText(const std::vector<Zone>& zones) {
    std::string text;
    for (const Zone& zone : zones)
        text += (text.empty() ? "" : ", ") + zone.id + (zone.name.empty() ? "" : " (" + zone.name + ")");
    return text.empty() ? "无" : text;
}

std::string offsetText(const std::optional<double>& offsetMs) {
    if (!offsetMs)
        return "尚未测量";
    char text[48];
    std::snprintf(text, sizeof text, "%+.1f 毫秒", *offsetMs);
    return text;
}

} // namespace

std::string campusStatusText(const CampusConfigRead& config, std::optional<std::uint64_t> revision,
                             const LinkState* running) {
    using State = CampusConfigRead::State;
    if (config.state == State::Absent)
        return "没有 campus.ini: 本机不属于校园, 不连接任何服务器\n";
    std::string out;
    if (config.state == State::Invalid) {
        out += "campus.ini 有错误, 本机不连接服务器, 按自己的计划响铃:\n";
        for (const std::string& error : config.errors)
            out += "  " + error + "\n";
        return out;
    }
    const CampusConfig& c = config.config;
    out += "校园: " + c.campus + "\n";
    out += "本机: " + c.nodeId + " (" + c.name + "), " + (c.role == CampusRole::Central ? "主控" : "分机") +
           "\n";
    out += "区域: " + zonesText(c.zones) + "\n";
    out += "服务器: " + brokerText(c.broker) + "\n";
    out += "已应用的版本: " + (revision ? std::to_string(*revision) : std::string("无法读取数据库")) + "\n";
    for (const std::string& warning : config.warnings)
        out += "注意: " + warning + "\n";
    if (!running)
        return out + "没有运行中的程序: 连接和时钟不详\n";
    out += std::string("连接: ") + (running->connected ? "已连接" : "未连接") +
           (running->connected || running->problem.empty() ? "" : " (" + running->problem + ")") + "\n";
    out += "上次同步: " +
           (running->lastSync.empty() ? std::string("本次运行尚未收到新的计划") : running->lastSync) + "\n";
    if (!running->snapshotProblem.empty())
        out += "被拒绝的计划: " + running->snapshotProblem + "\n";
    for (const std::string& problem : running->repairProblems)
        out += "问题: " + problem + "\n";
    out += std::string("时钟: ") + (running->clock.synchronised ? "已同步" : "未同步") + ", 与主控相差 " +
           offsetText(running->clock.offsetMs) + "\n";
    return out;
}

} // namespace halvix::campus
