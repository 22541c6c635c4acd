#include "app/BellApp.h"

#include "bell/Bell.h"
#include "bell/BellTray.h"
#include "bell/MainDialog.h"
#include "bell/TickDriver.h"
#include "common/ProgramFolder.h"
#include "time/SystemClock.h"
#include "widgets/Resources.h"
#include "widgets/UserPrompts.h"

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QStandardPaths>
#include <QTimer>

#include <filesystem>
#include <memory>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace halvix {

namespace {

#ifdef Q_OS_UNIX
int quitPipe[2] = {-1, -1};

extern "C" void onQuitSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here; the window thread reads the pipe.
    [[maybe_unused]] const auto written = ::write(quitPipe[1], &byte, 1);
}

// SIGTERM (a shutting-down machine) and SIGINT (Ctrl+C) end the program like the tray's 关闭, so the
// tray icon goes and the clock's thread stops. Returns the notifier that calls `quit`, or null.
template <typename Quit> std::unique_ptr<QSocketNotifier> quitOnSignals(Quit quit) {
    if (::pipe(quitPipe) != 0)
        return nullptr;
    for (int fd : quitPipe)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(quitPipe[1], F_SETFL, O_NONBLOCK);
    auto notifier = std::make_unique<QSocketNotifier>(quitPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [quit] {
        char byte = 0;
        [[maybe_unused]] const auto got = ::read(quitPipe[0], &byte, 1);
        quit();
    });
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    return notifier;
}
#endif

std::filesystem::path toPath(const QString& text) {
    return std::filesystem::path(text.toStdU16String());
}

// The executable's own folder when it is a portable program folder; otherwise the per-user data
// folder, filled from the defaults installed beside the program (share/halvix next to bin/, so a
// package unpacked anywhere finds its own) or in the system's place.
ProgramFolderChoice resolveProgramFolder() {
    const QString executableFolder = QCoreApplication::applicationDirPath();
    FolderPlaces places;
    places.executableFolder = toPath(executableFolder);
    places.userFolder = toPath(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    places.defaultsFolders = {toPath(QDir::cleanPath(executableFolder + QStringLiteral("/../share/halvix"))),
                              toPath(QStringLiteral("/usr/share/halvix"))};
    return chooseProgramFolder(places);
}

} // namespace

void BellApp::applyDialogColours() {
    QPalette palette = QApplication::palette();
    const QColor background(179, 183, 139);
    const QColor text(0, 0, 0);
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Text, text);
    QApplication::setPalette(palette, "QDialog");
    QApplication::setPalette(palette, "QMessageBox");
}

int BellApp::run() {
    initResources();
    applyDialogColours();
    // The window hides into the tray and message boxes come and go: only the window's end quits.
    QApplication::setQuitOnLastWindowClosed(false);

    const SystemClock clock;
    DialogPrompts prompts;
    TickDriver ticks;
    const ProgramFolderChoice folder = resolveProgramFolder();
    Bell bell(folder.folder, clock);
    BellTray tray;
    const auto notice = [&tray](const QString& text) {
        qWarning("%s", qUtf8Printable(text));
        tray.notify(text);
    };
    std::unique_ptr<MainDialog> window;

    const auto quit = [&window] {
        if (window)
            window->reject();
        else
            QCoreApplication::exit(0);
    };
#ifdef Q_OS_UNIX
    const auto signalNotifier = quitOnSignals(quit);
#endif

    // Started from the event loop, so that a quit during start-up (a message box may be open)
    // ends the loops cleanly instead of being lost.
    QTimer::singleShot(0, &m_app, [&] {
        // Ticking before the plan is loaded: the bell rings on while a start-up message waits.
        QObject::connect(&ticks, &TickDriver::tick, &bell, &Bell::onTick);
        ticks.start();
        window = std::make_unique<MainDialog>(bell, prompts);
        prompts.setParent(window.get());
        // Where the plans and sounds live, for whoever has to find or back them up.
        window->setWindowTitle(
            window->windowTitle().trimmed() + QStringLiteral("  —  ") +
            QDir::toNativeSeparators(QString::fromStdU16String(folder.folder.u16string())));
        window->attachTray(tray);
        tray.show();
        QObject::connect(window.get(), &QDialog::finished, &m_app, [&tray] {
            tray.hide();
            QCoreApplication::exit(0);
        });
        window->show();
        if (!folder.problem.empty())
            notice(QString::fromStdString(folder.problem));
    });
    QObject::connect(&bell, &Bell::decisionChanged, &tray, &BellTray::setTodayLine);
    // What failed while nobody asked goes to the tray (and the program's output), never to a box.
    QObject::connect(&bell, &Bell::unattendedNotice, &tray, notice);
    const int status = m_app.exec();
    ticks.stop();
    window.reset();
    return status;
}

} // namespace halvix
