#pragma once

#include <QStringList>

namespace halvix {

// The interface is Chinese by design, whatever the system's locale: Qt's own texts (the buttons of
// message boxes, the file dialogs) in Chinese from the system's translations folder, and dates
// and month names in Chinese form. Once, after the application object and before any window.
// Returns the catalogues that could not be loaded (empty when all are in place).
QStringList useChineseInterface();

} // namespace halvix
