#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace halvix::campus {

// The node's clock against the central's, reckoned as NTP does: the node sends its time t0 on
// ping/<node>; the central answers on pong/<node> with t0, its time t1 at receipt and t2 at
// sending; the node reads its time t3 at arrival. Offset ((t1-t0)+(t2-t3))/2, round trip
// (t3-t0)-(t2-t1). All in milliseconds since 1970.

struct Ping {
    std::string node;
    std::int64_t t0 = 0;
    bool operator==(const Ping&) const = default;
};
struct Pong {
    std::int64_t t0 = 0;
    std::int64_t t1 = 0;
    std::int64_t t2 = 0;
    bool operator==(const Pong&) const = default;
};

std::string writePing(const Ping& ping);
std::string writePong(const Pong& pong);

// Checked: a JSON object of at most 1 KiB, a valid node id, times that are non-negative integers
// (and, for a pong, t2 not before t1).
struct PingRead {
    Ping ping;
    std::string problem;
    bool ok() const { return problem.empty(); }
};
PingRead readPing(std::string_view payload);
struct PongRead {
    Pong pong;
    std::string problem;
    bool ok() const { return problem.empty(); }
};
PongRead readPong(std::string_view payload);

// The node's side: which pings are out, and the offset of the best recent answer. A pong that
// answers no ping of ours (an old one, a copy, a forgery) or came back after too long a trip is
// ignored. Among the last few samples the one of the shortest round trip counts, as its offset is
// the least disturbed by a slow path one way.
class ClockPinger {
public:
    static constexpr std::int64_t kMaxRoundTripMs = 5000;
    static constexpr std::size_t kSamples = 8;

    // A ping sent at `nowMs`, to be published.
    Ping ping(std::string node, std::int64_t nowMs);
    // Takes a pong that arrived at `nowMs`; false when it was ignored.
    bool answer(const Pong& pong, std::int64_t nowMs);
    // Milliseconds to add to this node's clock to read the central's; nothing before any answer.
    std::optional<double> offsetMs() const;

private:
    struct Sample {
        double offsetMs;
        std::int64_t roundTripMs;
    };
    std::deque<std::int64_t> m_sent; // t0 of pings not yet answered, oldest first
    std::deque<Sample> m_samples;    // newest last
};

} // namespace halvix::campus
