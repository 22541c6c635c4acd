#pragma once

#include "common/ProgramFolder.h"

namespace halvix {

// The executable's own folder when it is a portable program folder; otherwise the per-user data
// folder (~/.local/share/halvix), filled from the defaults installed beside the program (share/halvix
// next to bin/, so a package unpacked anywhere finds its own) or in the system's place.
ProgramFolderChoice resolveProgramFolder();

} // namespace halvix
