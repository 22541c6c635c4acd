#include "bell/window/BellQuestions.h"

#include "bell/service/Bell.h"
#include "bell/service/EmergencyControl.h"
#include "widgets/UserPrompts.h"

#include <string>

namespace halvix {

bool confirmEnd(const Bell& bell, UserPrompts& prompts) {
    const int left = bell.entriesLeftToday();
    if (left == 0)
        return true;
    return prompts.confirmWithCancelDefault(
        {"今天还有 " + std::to_string(left) + " 个铃声未响, 关闭后将不再响铃。确定关闭?", "关闭",
         MessageIcon::Question});
}

bool confirmEmergencyStart(const QString& sound, UserPrompts& prompts) {
    return prompts.confirmWithCancelDefault(
        {"确定在所有区域播放紧急广播 “" + sound.toStdString() +
             "”?\n\n它将反复播放, 直到解除紧急广播; 计划的铃声在此期间不响。",
         "紧急广播", MessageIcon::Warning});
}

bool confirmEmergencyClear(const EmergencyControl& emergency, UserPrompts& prompts) {
    if (!emergency.state().active)
        return false;
    return prompts.confirm(
        {emergency.text().toStdString() + "\n\n解除紧急广播? 计划的铃声将从下一项起照常响。", "解除紧急广播",
         MessageIcon::Question});
}

} // namespace halvix
