#pragma once

#include "campus/Command.h"
#include "time/LocalTime.h"

#include <cstdint>
#include <optional>
#include <string>

namespace halvix::campus {

// What someone asked the nodes to do, before it became a command.
struct CommandRequest {
    CommandKind kind = CommandKind::Stop;
    CommandTarget target;
    std::string sound;                          // Play
    std::optional<std::uint32_t> expirySeconds; // as given; the kind's default when absent
    bool operator==(const CommandRequest&) const = default;
};

// How long a command may wait on the broker for a node that is offline: a ring or a stop is worth
// little after a few seconds, a day's mute until the day ends, a reload for a minute.
inline constexpr std::uint32_t kPlayExpirySeconds = 10;
inline constexpr std::uint32_t kReloadExpirySeconds = 60;
inline constexpr std::uint32_t kMaxExpirySeconds = 2 * 86400;

// The seconds from `now` to the end of its local day, at least 1.
std::uint32_t secondsToEndOfDay(const LocalTime& now);

// Turns requests into commands with ids no other command of this campus has had: the origin (the
// central's node id), the issue time in milliseconds and a counter, so ids stay unique across
// restarts (the time has moved on) and within one millisecond (the counter has).
class CommandComposer {
public:
    // `firstCount` keeps two programs started in the same millisecond apart (the process id).
    explicit CommandComposer(std::string origin, std::uint32_t firstCount = 0)
        : m_origin(std::move(origin)), m_count(firstCount) {}

    // The command, or nothing with the reason in Chinese in `problem` (a sound for any kind but
    // Play, none for Play, an expiry of 0 or over two days). `nowMs` and `now` are one reading of
    // the central's clock: milliseconds since 1970 and the local time.
    std::optional<Command> compose(const CommandRequest& request, std::int64_t nowMs, const LocalTime& now,
                                   std::string& problem);

private:
    std::string m_origin;
    std::uint32_t m_count;
};

} // namespace halvix::campus
