#pragma once

namespace halvix {

// Registers the program's bitmaps and icon (res/resources.qrc, built into the window library).
// Call once after the application object exists, before any of them is loaded.
void initResources();

} // namespace halvix
