#pragma once

#include "campus/CampusConfig.h"
#include "campus/NodeReport.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace halvix::campus {

// What the running program knows of its campus link, for `halvix campus status`.
struct LinkState {
    bool connected = false;
    std::string problem;  // why not connected, when known
    std::string lastSync; // when the last snapshot was applied, as local time text; empty: not this run
    std::string snapshotProblem;
    std::vector<std::string> repairProblems; // sounds of the applied plan that could not be put back
    ClockState clock;
};

// The lines of `halvix campus status` (Chinese): the configuration, the applied revision (nothing
// when the database cannot be read), and, when a program runs on the folder, its link.
std::string campusStatusText(const CampusConfigRead& config, std::optional<std::uint64_t> revision,
                             const LinkState* running);

} // namespace halvix::campus
