#pragma once

#include "app/SingleInstance.h"

#include <functional>

namespace halvix {

class Bell;
namespace campus {
class CampusRuntime;
}

// The running bell's answer to a request from a later start: "show" (the plain start) calls
// `showWindow` (null without a window); "reload" (after an import) reads the plan again, keeping
// what rang; ring, stop, mute and unmute act on the bell; "campus status" asks `campus` (null
// without one).
InstanceReply answerRequest(Bell& bell, const QStringList& words, const std::function<void()>& showWindow,
                            const campus::CampusRuntime* campus = nullptr);

} // namespace halvix
