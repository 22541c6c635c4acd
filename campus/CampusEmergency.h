#pragma once

#include "emergency/EmergencyState.h"

#include <optional>

namespace halvix::campus {

// What a campus program does with the campus's retained state `arriving` (on the topic
// `emergency`), holding `own` and having last heard `lastHeard` from the campus in this run (none
// yet). `central`: the 主控, which publishes its own state.
enum class CampusEmergencyStep {
    Obey,     // the campus's word changed: the bell takes it
    Repeated, // the same word again (every reconnect): an emergency of this program alone stays
    Stale,    // on the 主控, older than what it published while the broker was away: dropped
    KeepOwn,  // the first word of this run is older than what was decided here since (the command
              // line while the program was down, the tray while the broker was): kept, and the
              // 主控 publishes it; a building keeps only an emergency it started, never a clear
};
CampusEmergencyStep campusEmergencyStep(const EmergencyState& own,
                                        const std::optional<EmergencyState>& lastHeard,
                                        const EmergencyState& arriving, bool central);

} // namespace halvix::campus
