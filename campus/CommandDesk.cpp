#include "campus/CommandDesk.h"

#include "bell/RingResult.h"
#include "ringlog/RingLog.h"

namespace halvix::campus {

namespace {

// How long after its arrival the broker may still deliver a command again.
std::int64_t lifetimeMs(const Command& command) {
    return std::int64_t{command.expirySeconds} * 1000;
}

} // namespace

CommandDecision CommandDesk::receive(std::string_view payload, const std::string& today, std::int64_t nowMs) {
    CommandDecision decision;
    const CommandRead read = readCommand(payload);
    if (!read.ok()) {
        decision.problem = "收到无效的命令: " + read.problem;
        return decision;
    }
    const Command& command = read.command;
    if (!isAddressedTo(command.target, m_node, m_zones)) {
        decision.problem = "收到发给别处的命令 " + command.id;
        return decision;
    }
    if (const std::string* first = m_memory.resultOf(command.id)) {
        decision = answer(command, ackResultOf(*first).value_or(AckResult::Failed),
                          "重复收到的命令, 未再执行", nowMs);
        return decision;
    }
    if (!m_memory.hasRoom(nowMs)) {
        // Not remembered: the same command delivered again is judged afresh.
        decision.action = CommandDecision::Action::Answer;
        decision.command = command;
        decision.ack = {m_node, command.id, AckResult::Refused, "短时间内收到的命令过多, 请稍后再试", nowMs};
        return decision;
    }
    if ((command.kind == CommandKind::Mute || command.kind == CommandKind::Unmute) && command.date != today)
        return answer(command, AckResult::Refused, "日期 " + command.date + " 不是本机的今天 " + today,
                      nowMs);
    // Remembered before it is acted on: a program stopped in between answers the command delivered
    // again after the restart instead of acting twice.
    m_memory.remember(command.id, ackLabel(AckResult::Failed), nowMs, lifetimeMs(command));
    decision.action = CommandDecision::Action::Act;
    decision.command = command;
    return decision;
}

CommandAck CommandDesk::finish(const Command& command, AckResult result, std::string detail,
                               std::int64_t nowMs) {
    m_memory.remember(command.id, ackLabel(result), nowMs, lifetimeMs(command));
    return {m_node, command.id, result, std::move(detail), nowMs};
}

CommandDecision CommandDesk::answer(const Command& command, AckResult result, std::string detail,
                                    std::int64_t nowMs) {
    CommandDecision decision;
    decision.action = CommandDecision::Action::Answer;
    decision.command = command;
    decision.ack = finish(command, result, std::move(detail), nowMs);
    return decision;
}

std::pair<AckResult, std::string> playAnswer(const RingRow& row) {
    const auto result = resultOfWord(row.result);
    if (result == RingResult::Manual)
        return {AckResult::Played, {}};
    if (result == RingResult::Missing || result == RingResult::Unplayable)
        return {AckResult::MissingSound, row.sound + ": " + row.note};
    return {AckResult::Failed, row.note.empty() ? row.result : row.result + ": " + row.note};
}

} // namespace halvix::campus
