#pragma once

#include "campus/CommandComposer.h"
#include "store/TextTable.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace halvix {

// `halvix campus ...`: what is asked of the campus from the command line.
struct CampusWords {
    enum class Action { Push, Nodes, Send, Status };
    Action action = Action::Push;
    campus::CommandRequest request; // Send
    bool operator==(const CampusWords&) const = default;
};

// The words after "campus", or nothing with the reason in Chinese in `error`:
//   push | nodes | status
//   send play SOUND|stop|mute|unmute|reload (--node ID | --zone ZONE | --all) [--expiry SECONDS]
std::optional<CampusWords> parseCampusWords(const TextList& args, std::string& error);

// The usage of each campus command with what it does, for --help.
std::vector<std::pair<std::string, std::string>> campusUsage();

} // namespace halvix
