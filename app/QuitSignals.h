#pragma once

#include <functional>
#include <memory>

class QObject;

namespace halvix {

// SIGTERM (a shutting-down machine, a service manager) and SIGINT (Ctrl+C) call `quit` from the
// event loop. Returns what must live as long as the handling should (null where the system has no
// such signals or the pipe cannot be made).
std::unique_ptr<QObject> quitOnSignals(std::function<void()> quit);

} // namespace halvix
