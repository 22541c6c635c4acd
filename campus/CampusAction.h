#pragma once

#include "campus/Command.h"

#include <string>

namespace halvix::campus {

// What the staff asked of the buildings; the central turns it into a command.
struct CampusAction {
    CommandKind kind = CommandKind::Stop;
    CommandTarget target;
    std::string sound; // 立即播放: the sound under voic/
    bool operator==(const CampusAction&) const = default;
};

} // namespace halvix::campus
