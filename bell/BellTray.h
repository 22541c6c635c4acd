#pragma once

#include <QObject>

#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace halvix {

// The program's icon in the notification area: tip "校园广播", a double click asks for the
// window, the menu's 关闭 asks to end the program. Notices that nobody asked for show here.
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
    // The tip "校园广播" followed by `line` (today's plan in words).
    void setTodayLine(const QString& line);

    QSystemTrayIcon* icon() const { return m_icon.get(); }
    QMenu* menu() const { return m_menu.get(); }

signals:
    void showRequested();
    void quitRequested();

private:
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_icon;
};

} // namespace halvix
