#pragma once

#include <chrono>
#include <string>

namespace halvix {

// How long `halvix check` waits for the sound server to say whether sound can come out.
inline constexpr std::chrono::milliseconds kSoundOutputWait{2500};

// Why no sound can come out of this machine now, as its sound server says (none reachable, no
// output on it), in Chinese; empty when sound can. A server that has not answered within `wait`
// is frozen or overloaded, and said to be.
std::string soundOutputProblem(std::chrono::milliseconds wait = kSoundOutputWait);

} // namespace halvix
