#pragma once

#include <QPoint>

class QWidget;

namespace halvix {

// Moves the shown `window`, whose layout has just changed its size, so that its frame is centred
// on `centre` (its centre before the change: it grows and shrinks evenly up and down) as far as
// the free part of its screen (above a taskbar) lets it.
void recentreOnScreen(QWidget* window, QPoint centre);

} // namespace halvix
