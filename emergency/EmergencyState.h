#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvix {

// 紧急广播: a state, not a one-off command. While active, the emergency sound loops on the
// loudspeakers of the zones it names (all when it names none) and the plan's entries stay silent,
// until someone clears it. The same JSON travels on the campus's retained topic and is kept in the
// program folder, so that a restart or a power cut resumes it.
struct EmergencyState {
    bool active = false;
    std::string sound;              // a file of voic/, by its name there
    std::vector<std::string> zones; // zone ids; empty: every zone
    std::int64_t sinceMs = 0;       // when it was started (or cleared), ms since 1970
    std::string by;                 // who started (or cleared) it: 值班室, 本机托盘, 命令行

    bool operator==(const EmergencyState&) const = default;

    // Whether a program in `ownZones` sounds it. A program outside any campus (no zones known: a
    // single PC) is every zone there is; a building of a campus without zones of its own (the
    // office) sounds only an emergency for every zone.
    bool concerns(const std::optional<std::vector<std::string>>& ownZones) const;
};

inline constexpr std::size_t kMaxEmergencyPayload = 4096;
inline constexpr std::size_t kMaxEmergencyZones = 64;

// {"format":1,"active":true,"sound":"警报.mp3","zones":["lab"],"sinceMs":1765180800000,"by":"值班室"}
std::string writeEmergency(const EmergencyState& state);

struct EmergencyRead {
    EmergencyState state;
    std::string problem; // Chinese; empty when read
    bool ok() const { return problem.empty(); }
};
// Checked as untrusted input: a JSON object of at most kMaxEmergencyPayload bytes, format 1, a
// boolean active; when active, the sound is required and must name a file of voic/ (the sound-name
// check and the sound text rules); zones are ids (at most kMaxEmergencyZones); sinceMs is not
// negative; by is a display name. Unknown fields are ignored.
EmergencyRead readEmergency(std::string_view payload);

// Why `sound` cannot be an emergency sound, judged from the text alone; empty when it can.
std::string emergencySoundProblem(std::string_view sound);

// One line for the window, the tray and the command line: "紧急广播中: 警报.mp3" (with the zones
// when it names some), or "没有紧急广播".
std::string emergencyLine(const EmergencyState& state);

} // namespace halvix
