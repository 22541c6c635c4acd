#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>

class QApplication;

namespace halvix {

class Bell;
class SingleInstance;

// The application: the dialog colours, then the main window for the program's whole life.
namespace campus {
class CampusRuntime;
class CampusWindow;
} // namespace campus

class BellApp {
public:
    // `instance` has claimed `folder`; its requests are answered while the window is up.
    // `folderProblem` says what went wrong making the per-user folder (shown in the tray).
    BellApp(QApplication& app, std::filesystem::path folder, SingleInstance& instance,
            std::string folderProblem = {})
        : m_app(app), m_folder(std::move(folder)), m_instance(instance),
          m_folderProblem(std::move(folderProblem)) {}

    // Runs until the main window ends (Enter, Esc, the close box, the tray menu's 关闭, or a
    // termination request from the system) and returns the process's exit code.
    int run();

private:
    void applyDialogColours();
    // The 校园 window of the 主控, made at its first opening.
    void showCampusWindow(Bell& bell, campus::CampusRuntime& campus,
                          std::unique_ptr<campus::CampusWindow>& window);

    QApplication& m_app;
    std::filesystem::path m_folder;
    SingleInstance& m_instance;
    std::string m_folderProblem;
};

} // namespace halvix
