#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvix::campus {

// What a node tells the central: its status (retained, replaced by the broker's last will when
// the node vanishes) and its answer to each command. The central reads both from the network, so
// the readers check them like any other untrusted input.

struct NextEntry {
    std::string time;
    std::string event;
    std::string sound;
    bool operator==(const NextEntry&) const = default;
};

struct LastRing {
    std::int64_t atMs = 0; // the node's clock
    std::string time;      // the entry's time
    std::string event;
    std::string result; // as the ring log says it: 已响铃, 缺少声音, ...
    std::int64_t delayMs = 0;
    bool operator==(const LastRing&) const = default;
};

struct ClockState {
    bool synchronised = false;      // the kernel's time discipline says the clock is in sync
    std::optional<double> offsetMs; // to the central's clock, when a ping has measured it
    bool operator==(const ClockState&) const = default;
};

// The emergency broadcast as the node holds it: whether one is active (for any zone), whether this
// node sounds it, its sound, and why the last state the campus sent was refused.
struct EmergencyReport {
    bool active = false;
    bool sounding = false;
    std::string sound;
    std::string problem;
    bool operator==(const EmergencyReport&) const = default;
};

struct NodeStatus {
    std::string node;
    std::string name;
    std::vector<std::string> zones;
    std::vector<std::string> zoneNames; // as people call them, in the order of `zones`
    bool central = false;               // the 主控: its sentMs is the campus's time
    bool online = false;
    std::uint64_t revision = 0;
    std::string snapshotProblem; // why the last snapshot offered was refused; empty when none was
    std::string today;           // the day's decision as the window says it
    std::optional<NextEntry> next;
    std::optional<LastRing> lastRing;
    std::vector<std::string> soundProblems;
    ClockState clock;
    EmergencyReport emergency;
    std::string version;
    std::int64_t sentMs = 0;
    bool operator==(const NodeStatus&) const = default;
};

std::string writeStatus(const NodeStatus& status);
// The last will a node leaves with the broker: only its id and that it is offline.
std::string writeOfflineStatus(std::string_view node);

struct StatusRead {
    NodeStatus status;
    std::string problem;
    bool ok() const { return problem.empty(); }
};
// Checked: a JSON object of at most 64 KiB, a valid node id, texts of bounded length without
// control characters but line ends, at most 100 zones and sound problems. Only the node id and
// online are required (a last will has no more); other fields keep their defaults when absent.
StatusRead readStatus(std::string_view payload);

enum class AckResult { Played, MissingSound, Stopped, Muted, Unmuted, Reloaded, Refused, Expired, Failed };
// 已响铃, 缺少声音, 已停止, 已静音, 已恢复响铃, 已重新载入, 已拒绝, 已过期, 执行失败.
const char* ackLabel(AckResult result);
// The result of a label; nothing for any other text.
std::optional<AckResult> ackResultOf(std::string_view label);

struct CommandAck {
    std::string node;
    std::string command; // the command's id
    AckResult result = AckResult::Failed;
    std::string detail; // why, for 已拒绝, 执行失败 and 缺少声音
    std::int64_t atMs = 0;
    bool operator==(const CommandAck&) const = default;
};

std::string writeAck(const CommandAck& ack);
struct AckRead {
    CommandAck ack;
    std::string problem;
    bool ok() const { return problem.empty(); }
};
AckRead readAck(std::string_view payload);

} // namespace halvix::campus
