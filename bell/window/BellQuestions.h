#pragma once

#include <QString>

namespace halvix {

class Bell;
class EmergencyControl;
class UserPrompts;

// The questions the window program asks before a step that is hard to undo. Each opens only
// because the user pressed a key, clicked or chose a menu item; the bell rings on meanwhile.

// Before the program ends: true when nothing is left to ring today, or the user confirms (取消 the
// default, so Enter keeps the program running as Esc does).
bool confirmEnd(const Bell& bell, UserPrompts& prompts);
// Before 紧急广播 of `sound` starts in every zone; 取消 the default.
bool confirmEmergencyStart(const QString& sound, UserPrompts& prompts);
// Before the running emergency is cleared; false when none is.
bool confirmEmergencyClear(const EmergencyControl& emergency, UserPrompts& prompts);

} // namespace halvix
