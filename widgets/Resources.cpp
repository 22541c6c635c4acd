#include "widgets/Resources.h"

#include <QtCore/qresource.h>

// Q_INIT_RESOURCE declares a function of the global namespace, so it is called from there.
static void initHalvixResources() {
    Q_INIT_RESOURCE(resources);
}

namespace halvix {

void initResources() {
    initHalvixResources();
}

} // namespace halvix
