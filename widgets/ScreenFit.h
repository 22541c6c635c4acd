#pragma once

class QWidget;

namespace halvix {

// Moves the shown `window` so that its frame lies within the free part of its screen (above a
// taskbar), as far as its size lets it; a window already inside stays where it is.
void keepOnScreen(QWidget* window);

} // namespace halvix
