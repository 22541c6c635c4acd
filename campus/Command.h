#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace halvix::campus {

// What the central asks of nodes.
enum class CommandKind {
    Play,   // 立即播放 a sound of voic/
    Stop,   // 停止播放
    Mute,   // 今日静音 for the date it names
    Unmute, // 恢复响铃 for the date it names
    Reload, // read the plan again
};

// The words of the kinds on the wire and for people.
const char* commandWord(CommandKind kind);
const char* commandLabel(CommandKind kind);

// Which nodes a command is for: one node, the nodes of a zone, or all.
struct CommandTarget {
    enum class Scope { Node, Zone, All };
    Scope scope = Scope::All;
    std::string id; // node or zone id; empty for All
    bool operator==(const CommandTarget&) const = default;
};

struct Command {
    std::string id;
    CommandTarget target;
    CommandKind kind = CommandKind::Stop;
    std::string sound;               // Play: the sound under voic/
    std::string date;                // Mute, Unmute: "YYYY-MM-DD", the day the central meant
    std::int64_t issuedMs = 0;       // the sender's clock, milliseconds since 1970: for people only
    std::uint32_t expirySeconds = 0; // also the message's expiry on the broker
    bool operator==(const Command&) const = default;
};

inline constexpr std::size_t kMaxCommandPayload = 4096;

// {"format":1, "id":"c-17", "target":"node:b1" | "zone:lab" | "all", "kind":"play",
//  "sound":"上课.mp3", "date":"2026-12-08", "issuedMs":1765180800000, "expiry":10}
std::string writeCommand(const Command& command);

// A command read and checked, or why it was refused (Chinese). Checked: a JSON object of at most
// kMaxCommandPayload bytes, a known format, an id of 1 to 64 letters, digits, '-', '_' or '.', a
// well-formed target, a known kind, a sound name inside voic/ for Play (and none else), a real date
// for Mute and Unmute, a non-negative issue time and an expiry of at most two days. Unknown fields
// are ignored.
struct CommandRead {
    Command command;
    std::string problem;
    bool ok() const { return problem.empty(); }
};
CommandRead readCommand(std::string_view payload);

// Whether a node with these ids is one the command is meant for. A command that arrived on a
// node's topic but names another node is not acted on.
bool isAddressedTo(const CommandTarget& target, std::string_view node, const std::vector<std::string>& zones);

// Remembers the ids of recent commands with their results, so that a command the broker delivers
// again (QoS 1 after a lost acknowledgement, a persistent session after a reconnect) is answered
// with its first result and never acted on twice. The broker delivers a command only within its
// expiry, counted from when it took it, so an id is alive until its expiry has passed counted from
// its first arrival (the node's own clock): a later delivery is impossible. Bounded by age
// (`keepMs`, longer than any expiry) and by count: beyond `capacity` only ids no longer alive are
// forgotten; while every remembered id is alive there is no room for another (hasRoom).
class CommandMemory {
public:
    explicit CommandMemory(std::size_t capacity = 1024, std::int64_t keepMs = 3 * 86400 * 1000LL)
        : m_capacity(capacity), m_keepMs(keepMs) {}

    // The result given the first time, when the id was seen; nullptr when it is new.
    const std::string* resultOf(const std::string& id) const;
    // Whether a new id can be remembered at `nowMs` without forgetting one still alive.
    bool hasRoom(std::int64_t nowMs) const;
    // `lifetimeMs`: how long after `nowMs` the broker may still deliver the command.
    void remember(const std::string& id, const std::string& result, std::int64_t nowMs,
                  std::int64_t lifetimeMs = 0);

    // One line per id ("<ms>\t<id>\t<result>\t<alive until ms>"), to keep across restarts; reading
    // skips bad lines and takes an id saved without its end as alive for the longest expiry.
    std::string save() const;
    void load(std::string_view text, std::int64_t nowMs);
    std::size_t size() const { return m_order.size(); }

private:
    void forgetOld(std::int64_t nowMs);
    void forgetOverCapacity(std::int64_t nowMs);

    struct Seen {
        std::string result;
        std::int64_t atMs;
        std::int64_t aliveUntilMs;
    };
    std::size_t m_capacity;
    std::int64_t m_keepMs;
    std::map<std::string, Seen> m_seen;
    std::deque<std::string> m_order; // oldest first
};

} // namespace halvix::campus
