#pragma once

#include "audio/PulsePlayer.h"
#include "bell/service/Bell.h"
#include "bell/window/MainDialog.h"

#include <filesystem>

namespace halvix::test {

struct BellHolder {
    BellHolder(const std::filesystem::path& folder, const Clock& clock)
        : bell(folder, clock, pulsePlayers()) {}
    Bell bell;
};

// The main window over a bell of its own, put together as the program does it. The bell is built
// first and goes last.
class StandaloneWindow final : private BellHolder, public MainDialog {
public:
    StandaloneWindow(const std::filesystem::path& folder, const Clock& clock, UserPrompts& prompts)
        : BellHolder(folder, clock), MainDialog(bell, prompts) {}
    Bell& ownBell() { return bell; }
};

} // namespace halvix::test
