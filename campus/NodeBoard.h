#pragma once

#include "campus/Command.h"
#include "campus/NodeReport.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvix::campus {

// How the central judges a node from what it last heard of it.
struct NodeJudgement {
    std::string node;
    std::string name; // the node's display name; its id when it never told one
    std::vector<std::string> zones;
    bool online = false;
    bool inSync = false;               // at the central's revision and its last snapshot not refused
    bool clockTooFar = false;          // measured offset to the central beyond kClockLimitMs
    std::vector<std::string> problems; // Chinese, one line each
    NodeStatus status;                 // the last status, kept whole while the node is offline
};

// What the tray says, once per change of a node's state.
struct BoardNotice {
    enum class Kind { Offline, Behind, Back };
    Kind kind = Kind::Offline;
    std::string node;
    std::string text; // Chinese
    bool operator==(const BoardNotice&) const = default;
};

// One command as sent, with what each node it was meant for answered.
struct CommandOutcome {
    Command command;
    struct Answer {
        std::string node;
        std::optional<AckResult> result; // none yet
        std::string detail;
        bool operator==(const Answer&) const = default;
    };
    std::vector<Answer> answers; // in the order of the nodes addressed, late answerers after
};

// 已响铃, 缺少声音, ... for an answer; 无应答 once the command expired unanswered, 等待应答 before.
std::string answerText(const CommandOutcome& outcome, const CommandOutcome::Answer& answer,
                       std::int64_t nowMs);
// "立即播放 上课.mp3 → 区域 lab" and the like.
std::string commandText(const Command& command);

// The central's picture of the campus: every node's last status, the revision it publishes, the
// commands it sent with their answers, and the tray's notices. Fed from the network's statuses and
// answers; time is handed in (the central's clock, milliseconds).
class NodeBoard {
public:
    static constexpr double kClockLimitMs = 1000.0;
    static constexpr std::int64_t kBehindGraceMs = 60'000;
    static constexpr std::size_t kCommandsKept = 50;

    // `staleMs`: a node heard of neither by a status nor by an answer for this long counts as
    // offline, also when its last status said online (the central's own link may be down, or a
    // will lost); about three heartbeats.
    explicit NodeBoard(std::int64_t staleMs = 100'000) : m_staleMs(staleMs) {}

    void setCentralRevision(std::uint64_t revision, std::int64_t nowMs);
    std::uint64_t centralRevision() const { return m_revision; }

    // A status payload from status/<id>. `topicNode` is the id in the topic: a status naming
    // another node is refused (a node may write only its own topic, but a bad payload may still
    // claim another's id). Returns why it was refused (Chinese), empty when taken.
    std::string receiveStatus(std::string_view payload, std::string_view topicNode, std::int64_t nowMs);
    void takeStatus(const NodeStatus& status, std::int64_t nowMs);

    // A command the central sent: the known nodes it is meant for wait for their answers.
    void commandSent(const Command& command);
    // An answer from ack/<id>; false when it is not readable, names another node than the topic,
    // or answers a command this board does not know.
    bool receiveAck(std::string_view payload, std::string_view topicNode, std::int64_t nowMs);
    bool takeAck(const CommandAck& ack, std::int64_t nowMs);

    // Every node, ordered by id.
    std::vector<NodeJudgement> nodes(std::int64_t nowMs) const;
    std::optional<NodeJudgement> node(std::string_view id, std::int64_t nowMs) const;
    // The zones nodes said they are in, ordered, without repeats.
    std::vector<std::string> zones() const;
    // The commands sent, latest first.
    const std::deque<CommandOutcome>& commands() const { return m_commands; }

    // The notices due now. `schoolDay`: an entry of today is still to come, the only time a node
    // gone offline is worth a notice. Each node gets one notice when it goes offline (in the
    // school day) or has stayed behind for kBehindGraceMs, none while it stays so, and one when
    // it is back online and in sync.
    std::vector<BoardNotice> takeNotices(std::int64_t nowMs, bool schoolDay);
    // Some node is in a state a notice was given for: the tray shows its warning icon.
    bool hasWarning() const;
    // How many nodes are in such a state (the tray's "N 个节点有问题").
    int warnedNodes() const;

private:
    struct Entry {
        NodeStatus status;
        std::int64_t heardMs = 0;
        std::optional<std::int64_t> behindSinceMs;
        bool warned = false;
    };
    NodeJudgement judge(const Entry& entry, std::int64_t nowMs) const;
    bool isOnline(const Entry& entry, std::int64_t nowMs) const;
    bool isBehind(const Entry& entry) const;
    void noteBehind(Entry& entry, std::int64_t nowMs) const;

    std::int64_t m_staleMs;
    std::uint64_t m_revision = 0;
    std::map<std::string, Entry, std::less<>> m_nodes;
    std::deque<CommandOutcome> m_commands; // latest first
};

} // namespace halvix::campus
