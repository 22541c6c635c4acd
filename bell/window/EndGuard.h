#pragma once

#include <QObject>

class QDialog;
class QKeyEvent;

namespace halvix {

class Bell;
class UserPrompts;

// Stands between the main window and the program's end: Esc, Enter, the close box and the tray's
// 关闭 end the window only when nothing is left to ring today or the user confirms (confirmEnd).
// The system's termination request does not come here: it ends the window at once.
class EndGuard final : public QObject {
    Q_OBJECT

public:
    // Watches `window`'s keys and close requests; a child of it.
    EndGuard(QDialog& window, const Bell& bell, UserPrompts& prompts);

    // Ends the window with `result` (QDialog's Accepted or Rejected) once it may end.
    void endAsked(int result);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Asks when entries are left; one question at a time.
    bool mayEnd();
    // Accepted for Enter, Rejected for Esc (both without modifiers), -1 for any other key.
    static int endingKey(const QKeyEvent& key);

    QDialog& m_window;
    const Bell& m_bell;
    UserPrompts& m_prompts;
    bool m_asking = false;
};

} // namespace halvix
