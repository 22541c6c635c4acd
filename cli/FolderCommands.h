#pragma once

#include "cli/CommandWords.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>

namespace halvix {

// Why no sound can come out of this machine now (no sound server, no output on it), in Chinese;
// empty when sound can. Asked by `check` alone.
using SoundOutputCheck = std::function<std::string()>;

// Runs a command that works on the program folder alone (plan, check, log, export, import):
// results to `out`, one line per item, rows tab-separated; problems to `err`. Returns the exit
// status. `today` stands for a date the command was not given. `check` also says when no sound
// can come out at all (by `soundOutput`, when given), which is a problem whatever the plan.
int runFolderCommand(const Command& command, const std::filesystem::path& folder, const CivilDate& today,
                     std::ostream& out, std::ostream& err, const SoundOutputCheck& soundOutput = {});

// emergency on a folder no bell runs on: shows the stored state, or stores the one asked for, for
// the bell to obey when it starts. `nowMs` (ms since 1970) stamps it.
int runEmergencyCommand(const Command& command, const std::filesystem::path& folder, std::int64_t nowMs,
                        std::ostream& out, std::ostream& err);
// Who the command line is, in the emergency state and the ring log.
inline constexpr const char* kCommandLineEmergencyBy = "命令行";

} // namespace halvix
