#include "widgets/ScreenFit.h"

#include <QLayout>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace halvix {

void recentreOnScreen(QWidget* window, QPoint centre) {
    if (!window->isVisible() || !window->screen())
        return;
    // A fixed-size window takes its new size when its layout runs: now, not at the next event.
    if (QLayout* layout = window->layout())
        layout->activate();
    const QRect room = window->screen()->availableGeometry();
    QRect frame = window->frameGeometry();
    frame.moveCenter(centre);
    // Right and bottom first: a window larger than the room keeps its top left corner in it.
    frame.moveRight(std::min(frame.right(), room.right()));
    frame.moveBottom(std::min(frame.bottom(), room.bottom()));
    frame.moveLeft(std::max(frame.left(), room.left()));
    frame.moveTop(std::max(frame.top(), room.top()));
    window->move(frame.topLeft());
}

} // namespace halvix
