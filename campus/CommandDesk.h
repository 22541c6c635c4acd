#pragma once

#include "campus/Command.h"
#include "campus/NodeReport.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvix {
struct RingRow;
} // namespace halvix

namespace halvix::campus {

// What a node does with a command that arrived: act on it, answer a command delivered again with
// its first answer, or refuse it. Acting is the bell's work; finish() then gives the answer and
// remembers it. A command is remembered (as 执行失败) already when it is handed out to be acted
// on, and the memory should be saved before acting: a command is acted on at most once, even
// when the program stops half-way.
struct CommandDecision {
    enum class Action {
        Act,    // do `command`, then finish() it
        Answer, // publish `ack`, do nothing else (refused, expired or delivered again)
        Ignore, // not readable or not for this node: nothing to answer; `problem` for the log
    };
    Action action = Action::Ignore;
    Command command;
    CommandAck ack;
    std::string problem;
};

class CommandDesk {
public:
    CommandDesk(std::string node, std::vector<std::string> zones, CommandMemory& memory)
        : m_node(std::move(node)), m_zones(std::move(zones)), m_memory(memory) {}

    // `today` is the node's date ("YYYY-MM-DD"), `nowMs` its clock when the command arrived. A
    // command lives for its expiry counted by the broker, so whatever the broker delivers is in
    // time, whatever the sender's clock said when it stamped it; the command's id is remembered
    // for that long again from its arrival, so that a delivery again is never acted on. While the
    // memory holds only ids still alive, a new command is answered 已拒绝 rather than forget one.
    CommandDecision receive(std::string_view payload, const std::string& today, std::int64_t nowMs);

    // The answer to a command acted on, remembered so that it is never acted on twice.
    CommandAck finish(const Command& command, AckResult result, std::string detail, std::int64_t nowMs);

private:
    CommandDecision answer(const Command& command, AckResult result, std::string detail, std::int64_t nowMs);

    std::string m_node;
    std::vector<std::string> m_zones;
    CommandMemory& m_memory;
};

// The answer to 立即播放 from the ring log's row of the play: 已响铃 only when it was heard; 缺少声音
// when its sound is not there or is no sound; 执行失败 with the result and why for anything else
// (no sound output, volume zero, replaced before it was heard).
std::pair<AckResult, std::string> playAnswer(const RingRow& row);

} // namespace halvix::campus
