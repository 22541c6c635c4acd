#pragma once

class QApplication;

namespace halvix {

// The application: the dialog colours, then the main window for the program's whole life.
class BellApp {
public:
    explicit BellApp(QApplication& app) : m_app(app) {}

    // Runs until the main window ends (Enter, Esc, the close box, the tray menu's 关闭, or a
    // termination request from the system) and returns the process's exit code.
    int run();

private:
    void applyDialogColours();

    QApplication& m_app;
};

} // namespace halvix
