#include "campus/NodeBoard.h"

#include "bell/RingResult.h"

#include "ringlog/RingLog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

namespace halvix::campus {

namespace {

std::string shownName(const NodeStatus& status) {
    if (status.name.empty())
        return status.node;
    return status.name + "（" + status.node + "）";
}

std::string targetText(const CommandTarget& target) {
    switch (target.scope) {
    case CommandTarget::Scope::Node:
        return "节点 " + target.id;
    case CommandTarget::Scope::Zone:
        return "区域 " + target.id;
    case CommandTarget::Scope::All:
        break;
    }
    return "全部";
}

// "1.5 秒" for a clock offset in the problems.
std::string secondsText(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f 秒", std::fabs(ms) / 1000.0);
    return text;
}

// A last ring that rang nothing is worth a line; one that rang, was muted or was a day off is not.
bool ringFailed(const std::string& result) {
    const auto known = resultOfWord(result);
    return known && unheard(*known);
}

} // namespace

std::string commandText(const Command& command) {
    std::string text = commandLabel(command.kind);
    if (command.kind == CommandKind::Play)
        text += " " + command.sound;
    if ((command.kind == CommandKind::Mute || command.kind == CommandKind::Unmute) && !command.date.empty())
        text += " " + command.date;
    return text + " → " + targetText(command.target);
}

std::string answerText(const CommandOutcome& outcome, const CommandOutcome::Answer& answer,
                       std::int64_t nowMs) {
    if (answer.result)
        return ackLabel(*answer.result);
    const Command& command = outcome.command;
    // Past its expiry the broker no longer delivers the command: nothing will answer any more.
    if (command.expirySeconds > 0 && nowMs >= command.issuedMs + std::int64_t{command.expirySeconds} * 1000)
        return "无应答";
    return "等待应答";
}

void NodeBoard::setCentralRevision(std::uint64_t revision, std::int64_t nowMs) {
    m_revision = revision;
    for (auto& [id, entry] : m_nodes)
        noteBehind(entry, nowMs);
}

std::string NodeBoard::receiveStatus(std::string_view payload, std::string_view topicNode,
                                     std::int64_t nowMs) {
    StatusRead read = readStatus(payload);
    if (!read.ok())
        return read.problem;
    if (read.status.node != topicNode)
        return "状态中的节点 " + read.status.node + " 与主题不符";
    takeStatus(read.status, nowMs);
    return {};
}

void NodeBoard::takeStatus(const NodeStatus& status, std::int64_t nowMs) {
    Entry& entry = m_nodes[status.node];
    if (status.online) {
        entry.status = status;
    } else {
        // A last will says only that the node is gone: what it said before stays on the board.
        if (entry.status.node.empty())
            entry.status = status;
        entry.status.online = false;
    }
    entry.heardMs = nowMs;
    noteBehind(entry, nowMs);
}

void NodeBoard::commandSent(const Command& command) {
    CommandOutcome outcome{command, {}};
    for (const auto& [id, entry] : m_nodes)
        if (isAddressedTo(command.target, id, entry.status.zones))
            outcome.answers.push_back({id, std::nullopt, {}});
    m_commands.push_front(std::move(outcome));
    if (m_commands.size() > kCommandsKept)
        m_commands.pop_back();
}

bool NodeBoard::receiveAck(std::string_view payload, std::string_view topicNode, std::int64_t nowMs) {
    const AckRead read = readAck(payload);
    if (!read.ok() || read.ack.node != topicNode)
        return false;
    return takeAck(read.ack, nowMs);
}

bool NodeBoard::takeAck(const CommandAck& ack, std::int64_t nowMs) {
    if (const auto entry = m_nodes.find(ack.node); entry != m_nodes.end())
        entry->second.heardMs = std::max(entry->second.heardMs, nowMs);
    const auto outcome =
        std::find_if(m_commands.begin(), m_commands.end(),
                     [&ack](const CommandOutcome& sent) { return sent.command.id == ack.command; });
    if (outcome == m_commands.end())
        return false;
    auto answer = std::find_if(outcome->answers.begin(), outcome->answers.end(),
                               [&ack](const CommandOutcome::Answer& a) { return a.node == ack.node; });
    // A node the board did not know of when the command left answers too: it is shown after the rest.
    if (answer == outcome->answers.end())
        answer = outcome->answers.insert(outcome->answers.end(), {ack.node, std::nullopt, {}});
    answer->result = ack.result;
    answer->detail = ack.detail;
    return true;
}

bool NodeBoard::isOnline(const Entry& entry, std::int64_t nowMs) const {
    return entry.status.online && nowMs - entry.heardMs <= m_staleMs;
}

bool NodeBoard::isBehind(const Entry& entry) const {
    return entry.status.revision < m_revision || !entry.status.snapshotProblem.empty();
}

void NodeBoard::noteBehind(Entry& entry, std::int64_t nowMs) const {
    if (!isBehind(entry))
        entry.behindSinceMs.reset();
    else if (!entry.behindSinceMs)
        entry.behindSinceMs = nowMs;
}

NodeJudgement NodeBoard::judge(const Entry& entry, std::int64_t nowMs) const {
    const NodeStatus& status = entry.status;
    NodeJudgement judgement;
    judgement.node = status.node;
    judgement.name = status.name.empty() ? status.node : status.name;
    judgement.zones = status.zones;
    judgement.online = isOnline(entry, nowMs);
    judgement.inSync = !isBehind(entry);
    judgement.clockTooFar = status.clock.offsetMs && std::fabs(*status.clock.offsetMs) > kClockLimitMs;
    judgement.status = status;

    auto& problems = judgement.problems;
    if (!status.snapshotProblem.empty())
        problems.push_back("计划被拒绝：" + status.snapshotProblem);
    else if (status.revision < m_revision)
        problems.push_back("版本 " + std::to_string(status.revision) + "，主控 " +
                           std::to_string(m_revision));
    if (judgement.clockTooFar)
        problems.push_back("时钟偏差 " + secondsText(*status.clock.offsetMs));
    else if (status.online && !status.clock.synchronised)
        problems.push_back("时钟未同步");
    if (status.lastRing && ringFailed(status.lastRing->result))
        problems.push_back("最近响铃 " + status.lastRing->time + " " + status.lastRing->result);
    problems.insert(problems.end(), status.soundProblems.begin(), status.soundProblems.end());
    if (!status.emergency.problem.empty())
        problems.push_back("紧急广播状态被拒绝：" + status.emergency.problem);
    return judgement;
}

std::vector<NodeJudgement> NodeBoard::nodes(std::int64_t nowMs) const {
    std::vector<NodeJudgement> judged;
    judged.reserve(m_nodes.size());
    for (const auto& [id, entry] : m_nodes)
        judged.push_back(judge(entry, nowMs));
    return judged;
}

std::optional<NodeJudgement> NodeBoard::node(std::string_view id, std::int64_t nowMs) const {
    const auto entry = m_nodes.find(id);
    if (entry == m_nodes.end())
        return std::nullopt;
    return judge(entry->second, nowMs);
}

std::vector<std::string> NodeBoard::zones() const {
    std::set<std::string> zones;
    for (const auto& [id, entry] : m_nodes)
        zones.insert(entry.status.zones.begin(), entry.status.zones.end());
    return {zones.begin(), zones.end()};
}

std::vector<BoardNotice> NodeBoard::takeNotices(std::int64_t nowMs, bool schoolDay) {
    std::vector<BoardNotice> notices;
    for (auto& [id, entry] : m_nodes) {
        const bool online = isOnline(entry, nowMs);
        // Behind is timed only while the node is there to catch up: an offline node has its own notice.
        if (online)
            noteBehind(entry, nowMs);
        else
            entry.behindSinceMs.reset();
        const bool behindTooLong = entry.behindSinceMs && nowMs - *entry.behindSinceMs >= kBehindGraceMs;
        const std::string name = shownName(entry.status);
        if (!entry.warned && !online && schoolDay) {
            notices.push_back({BoardNotice::Kind::Offline, id, name + " 离线"});
            entry.warned = true;
        } else if (!entry.warned && behindTooLong) {
            std::string why =
                entry.status.snapshotProblem.empty()
                    ? "版本 " + std::to_string(entry.status.revision) + "，主控 " + std::to_string(m_revision)
                    : "计划被拒绝：" + entry.status.snapshotProblem;
            notices.push_back({BoardNotice::Kind::Behind, id, name + " 未同步（" + why + "）"});
            entry.warned = true;
        } else if (entry.warned && online && !isBehind(entry)) {
            notices.push_back({BoardNotice::Kind::Back, id, name + " 已恢复"});
            entry.warned = false;
        }
    }
    return notices;
}

bool NodeBoard::hasWarning() const {
    return warnedNodes() > 0;
}

int NodeBoard::warnedNodes() const {
    return static_cast<int>(
        std::count_if(m_nodes.begin(), m_nodes.end(), [](const auto& node) { return node.second.warned; }));
}

} // namespace halvix::campus
