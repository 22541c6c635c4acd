#pragma once

namespace halvix {

// Raises the priority of this process (all its threads) as far as the system allows, so a busy
// machine does not make a bell late. Best effort: silently keeps what is allowed. Returns true when
// the priority is now above normal.
bool raiseProcessPriority();

} // namespace halvix
