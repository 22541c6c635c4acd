#pragma once

#include <QObject>
#include <QString>

namespace halvix {

class Bell;
class BellTray;
class UserPrompts;

// What the tray's menu asks of the bell: 立即播放, 停止播放, 今日静音 and 恢复响铃, 紧急广播 and its
// clearing. Their answers go back to the tray as notices, never to a box, but for the questions
// the user's own click asks (紧急广播 and 解除紧急广播 each ask first).
class TrayActions final : public QObject {
    Q_OBJECT

public:
    // Who started or cleared an emergency from the tray, as the state and the ring log say it.
    static constexpr const char* kTrayEmergencyBy = "本机托盘";

    TrayActions(Bell& bell, BellTray& tray, UserPrompts& prompts, QObject* parent = nullptr);

    void muteToday(bool mute);
    // Asks first, naming the sound: it sounds everywhere until cleared.
    void startEmergency(const QString& sound);
    // Asks first: the plan rings again from its next entry once cleared.
    void clearEmergency();

private:
    void offerSounds();
    void showEmergency(const QString& text);

    Bell& m_bell;
    BellTray& m_tray;
    UserPrompts& m_prompts;
};

} // namespace halvix
