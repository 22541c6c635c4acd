#pragma once

#include "cli/CampusWords.h"
#include "store/TextTable.h"
#include "time/CivilDate.h"

#include <optional>
#include <string>
#include <vector>

namespace halvix {

// What the command line asks for, after the program's own options.
enum class CommandKind {
    None,
    Plan,
    Check,
    Log,
    Ring,
    Stop,
    Mute,
    Unmute,
    Export,
    Import,
    Emergency,
    Campus
};

// Exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitProblems = 1;   // a check found problems
inline constexpr int kExitBadUsage = 2;   // bad usage, an unreadable database or file
inline constexpr int kExitNotRunning = 3; // the command needs a running bell and none runs

struct Command {
    CommandKind kind = CommandKind::None;
    std::optional<CivilDate> date; // plan, check: the date (today when absent); log: --since
    bool csv = false;              // log --csv
    std::string node;              // log --node: only the rows of this building
    std::string sound;             // ring
    std::string table;             // export, import
    std::string file;              // export, import
    bool emptyAllowed = false;     // import --empty: a file without rows empties the table
    // emergency: the sound to start (empty: show the state), its zones (--zone), or clear.
    std::vector<std::string> zones;
    bool clear = false;
    CampusWords campus; // campus

    bool operator==(const Command&) const = default;
};

// The command in `words` (the command's name first, then its arguments), or nothing with the
// reason in Chinese in `error`. No words at all is the plain start (CommandKind::None).
std::optional<Command> parseCommand(const TextList& words, std::string& error);

// ring, stop, mute and unmute act on the running bell; the others work on the folder alone, but
// emergency, which a running bell takes over when there is one.
bool needsRunningBell(CommandKind kind);

// The usage lines of the commands, for --help.
std::string commandUsage();

} // namespace halvix
