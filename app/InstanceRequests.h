#pragma once

#include "app/SingleInstance.h"

#include <functional>

namespace halvix {

class Bell;
namespace campus {
class CampusRuntime;
}

// How long the running bell waits for what became of `ring SOUND` before it answers without it:
// the bell itself gives up on a sound that does not start well before (15 s).
inline constexpr int kRingAnswerMs = 20'000;

// The running bell's answer to a request from a later start: "show" (the plain start) calls
// `showWindow` (null without a window); "reload" (after an import) reads the plan again, keeping
// what rang; stop, mute and unmute act on the bell; "campus status" asks `campus` (null
// without one).
InstanceReply answerRequest(Bell& bell, const QStringList& words, const std::function<void()>& showWindow,
                            const campus::CampusRuntime* campus = nullptr);

// The requests answered later, with what the loudspeakers did or the broker took: "ring SOUND"
// once the bell knows whether it was heard ("已响铃: SOUND", or status 1 and "未响: RESULT (NOTE)"),
// and on the 主控 the campus's own (see answerCentralRequest). False for any other request.
bool answerLaterRequest(Bell& bell, const campus::CampusRuntime& campus, const QStringList& words,
                        const SingleInstance::Answer& answer);

} // namespace halvix
