#pragma once

#include <QIcon>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace halvix {

// The program's icon in the notification area: tip "校园广播", a double click asks for the
// window. Its menu, in this order: 显示窗口 (the default, as the double click), 立即播放 ▸ (the sounds of
// voic), 停止播放, 今日静音 / 恢复响铃, 响铃记录, 校园 (on the campus central only), then 紧急广播 ▸ (the
// sound files of voic) and 解除紧急广播, and after a separator 关闭, which asks to end the program. Notices
// that nobody asked for show here.
class BellTray final : public QObject {
    Q_OBJECT

public:
    explicit BellTray(QObject* parent = nullptr);
    ~BellTray() override;

    void show();
    void hide();
    // A notification area holds the icon: a window hidden into it can be brought back.
    bool usable() const;
    // A short message beside the icon that goes away by itself.
    void notify(const QString& text);
    // The tip: "校园广播" (or "N 个铃声有问题"), then today's plan in words, then the window's status
    // line (such as "所有任务已完成!"); empty lines are left out.
    void setTodayLine(const QString& line);
    void setStatus(const QString& status);

    // The sounds 立即播放 offers: sound texts as the plan writes them, shown by their last part.
    // Asked for each time the menu opens, so a file copied into voic shows without a restart.
    void setSoundLister(std::function<QStringList()> lister) { m_listSounds = std::move(lister); }
    // The sounds 紧急广播 offers: single files of voic, asked for each time its menu opens.
    void setEmergencySoundLister(std::function<QStringList()> lister) {
        m_listEmergencySounds = std::move(lister);
    }
    // While an emergency sounds: its line heads the tip and 解除紧急广播 can be chosen. Empty: none.
    void setEmergency(const QString& line);
    // The item reads 恢复响铃 while today is muted, 今日静音 otherwise.
    void setMuted(bool muted);
    // With problems, the warning icon and the tip's first line "N 个铃声有问题"; with none, the plain ones.
    void setSoundProblems(int count);
    // On the campus central: the 校园 item, and the nodes in trouble (the warning icon and a tip line).
    void setCampusEntry(bool shown);
    void setCampusProblems(int nodes);

    QSystemTrayIcon* icon() const { return m_icon.get(); }
    QMenu* menu() const { return m_menu.get(); }
    QMenu* playMenu() const { return m_playMenu; }
    QMenu* emergencyMenu() const { return m_emergencyMenu; }
    QString toolTip() const;

signals:
    void showRequested();
    void quitRequested();
    void playRequested(const QString& sound);
    void stopRequested();
    // The user asked to mute today (true) or to ring again (false).
    void muteRequested(bool mute);
    void logRequested();
    void emergencyRequested(const QString& sound);
    void clearEmergencyRequested();
    void campusRequested();

private:
    // Lists `sounds` in `menu`, each calling `chosen` with its sound text.
    void fillSoundMenu(QMenu* menu, const QStringList& sounds, void (BellTray::*chosen)(const QString&));
    void showTip();
    void showIcon();

    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    QMenu* m_playMenu = nullptr;
    QMenu* m_emergencyMenu = nullptr;
    QAction* m_clearEmergencyAction = nullptr;
    std::function<QStringList()> m_listEmergencySounds;
    QString m_emergencyLine;
    QAction* m_muteAction = nullptr;
    QAction* m_campusAction = nullptr;
    std::function<QStringList()> m_listSounds;
    bool m_muted = false;
    int m_problems = 0;
    int m_campusProblems = 0;
    QString m_todayLine;
    QString m_status;
    QIcon m_plainIcon;
    QIcon m_warningIcon;
};

} // namespace halvix
