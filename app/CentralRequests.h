#pragma once

#include "app/SingleInstance.h"

namespace halvix {

namespace campus {
class CampusCentral;
}

// The campus requests a later start hands to the running central: "campus push" (answered once
// the broker confirmed the publication, or why it could not) and "campus send ..." (answered at
// once with the command as sent, one line of its JSON, for the asker to follow its answers).
// False for any other request.
bool answerCentralRequest(campus::CampusCentral& central, const QStringList& words,
                          const SingleInstance::Answer& answer);

} // namespace halvix
