#pragma once

#include <QFrame>

class QLabel;

namespace halvix {

class EmergencyControl;
class UserPrompts;

// A red band across the top of the main window while 紧急广播 sounds here: the sound, the local
// time it began (HH:MM:SS) and a 解除紧急广播 button, which asks as the tray's item does. Hidden
// otherwise.
class EmergencyBanner final : public QFrame {
    Q_OBJECT

public:
    static constexpr int kHeight = 56;
    // Who cleared it, as the state and the ring log say it.
    static constexpr const char* kWindowEmergencyBy = "本机窗口";

    // Across the top of `window`, hidden until follow() finds an emergency sounding.
    EmergencyBanner(EmergencyControl& emergency, UserPrompts& prompts, QWidget* window);

    // Shows the emergency while it sounds here, hides otherwise; returns whether it shows.
    bool follow();
    // The banner's line: "紧急广播中  警报.wav  开始于 14:03:27".
    QString text() const;

private:
    void askToClear();

    EmergencyControl& m_emergency;
    UserPrompts& m_prompts;
    QLabel* m_line;
};

// "开始于 14:03:27": the local time of `sinceMs` (ms since 1970).
QString emergencyStartText(long long sinceMs);

} // namespace halvix
