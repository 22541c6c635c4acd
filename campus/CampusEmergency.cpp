#include "campus/CampusEmergency.h"

namespace halvix::campus {

CampusEmergencyStep campusEmergencyStep(const EmergencyState& own,
                                        const std::optional<EmergencyState>& lastHeard,
                                        const EmergencyState& arriving, bool central) {
    if (lastHeard == arriving)
        return CampusEmergencyStep::Repeated;
    if (central && lastHeard && arriving.sinceMs < lastHeard->sinceMs)
        return CampusEmergencyStep::Stale;
    if (!lastHeard && own != arriving && own.sinceMs > arriving.sinceMs && (central || own.active))
        return CampusEmergencyStep::KeepOwn;
    return CampusEmergencyStep::Obey;
}

} // namespace halvix::campus
