#pragma once

#include "cli/CommandWords.h"

#include <filesystem>
#include <iosfwd>

namespace halvix {

// Runs a command that works on the program folder alone (plan, check, log, export, import):
// results to `out`, one line per item, rows tab-separated; problems to `err`. Returns the exit
// status. `today` stands for a date the command was not given.
int runFolderCommand(const Command& command, const std::filesystem::path& folder, const CivilDate& today,
                     std::ostream& out, std::ostream& err);

// The ring log's file in the program folder.

} // namespace halvix
