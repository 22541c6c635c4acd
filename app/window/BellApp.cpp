#include "app/window/BellApp.h"

#include "audio/PulsePlayer.h"

#include "app/HeadlessApp.h"
#include "app/InstanceRequests.h"
#include "app/QuitSignals.h"

#include "bell/service/Bell.h"
#include "bell/window/BellTray.h"
#include "bell/window/MainDialog.h"
#include "bell/service/TickDriver.h"
#include "campus/service/CampusRuntime.h"
#include "campus/window/CampusWindow.h"
#include "emergency/EmergencyState.h"
#include "time/SystemClock.h"
#include "widgets/ChineseInterface.h"
#include "widgets/ProgramFont.h"
#include "widgets/Resources.h"
#include "widgets/UserPrompts.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QPalette>
#include <QTimer>

#include <filesystem>
#include <memory>

namespace halvix {

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

void BellApp::showCampusWindow(Bell& bell, campus::CampusRuntime& campus,
                               std::unique_ptr<campus::CampusWindow>& window) {
    // One window, not modal: the bell and the tray keep working while it is open.
    if (!window) {
        window = std::make_unique<campus::CampusWindow>(m_folder);
        QObject::connect(window.get(), &campus::CampusWindow::actionRequested, &campus,
                         &campus::CampusRuntime::request);
        QObject::connect(window.get(), &campus::CampusWindow::emergencyRequested, &campus,
                         &campus::CampusRuntime::startEmergency);
        QObject::connect(window.get(), &campus::CampusWindow::clearEmergencyRequested, &campus,
                         &campus::CampusRuntime::clearEmergency);
        const auto showEmergency = [&bell, shown = window.get()] {
            shown->showEmergency(QString::fromStdString(emergencyLine(bell.emergency().state())),
                                 bell.emergency().state().active);
        };
        QObject::connect(&bell.emergency(), &EmergencyControl::stateChanged, window.get(), showEmergency);
        showEmergency();
        window->watch(*campus.board(), [] { return QDateTime::currentMSecsSinceEpoch(); });
    }
    window->show();
    window->raise();
    window->activateWindow();
}

int BellApp::run() {
    initResources();
    const QStringList missingTranslations = useChineseInterface();
    applyDialogColours();
    useSongFontEverywhere();
    // The window hides into the tray and message boxes come and go: only the window's end quits.
    QApplication::setQuitOnLastWindowClosed(false);

    const SystemClock clock;
    DialogPrompts prompts;
    TickDriver ticks;
    Bell bell(m_folder, clock, pulsePlayers());
    BellTray tray;
    campus::CampusRuntime campus(bell, QStringLiteral(HALVIX_VERSION));
    returnMemoryAfterRings(bell);
    // What failed while nobody asked goes to the tray (and the program's output), never to a box.
    const auto notice = [&tray](const QString& text) {
        qWarning("%s", qUtf8Printable(text));
        tray.notify(text);
    };
    std::unique_ptr<MainDialog> window;
    std::unique_ptr<campus::CampusWindow> campusWindow;

    const auto quit = [&window] {
        if (window)
            window->reject();
        else
            QCoreApplication::exit(0);
    };
    const auto signalNotifier = quitOnSignals(quit);

    // Started from the event loop, so that a quit during start-up (a message box may be open)
    // ends the loops cleanly instead of being lost.
    QTimer::singleShot(0, &m_app, [&] {
        // Ticking before the plan is loaded: the bell rings on while a start-up message waits.
        QObject::connect(&ticks, &TickDriver::tick, &bell, &Bell::onTick);
        ticks.start();
        window = std::make_unique<MainDialog>(bell, prompts);
        prompts.setParent(window.get());
        // Where the plans and sounds live, for whoever has to find or back them up.
        window->setWindowTitle(window->windowTitle().trimmed() + QStringLiteral("  —  ") +
                               QDir::toNativeSeparators(QString::fromStdU16String(m_folder.u16string())));
        window->attachTray(tray);
        tray.show();
        QObject::connect(window.get(), &QDialog::finished, &m_app, [&tray] {
            tray.hide();
            QCoreApplication::exit(0);
        });
        window->show();
        if (!m_folderProblem.empty())
            notice(QString::fromStdString(m_folderProblem));
        campus.start();
        if (campus.central())
            window->offerCampusWindow([&] { showCampusWindow(bell, campus, campusWindow); });
        if (!missingTranslations.isEmpty())
            notice(
                QStringLiteral(
                    "缺少 Qt 的中文翻译 (%1), 部分按钮和文件对话框将显示英文: 请安装 qt6-translations-l10n")
                    .arg(missingTranslations.join(QStringLiteral(", "))));
    });
    // A later start on this folder brings the window to the front instead of ringing twice.
    m_instance.setHandler([&bell, &window, &campus](const QStringList& words) {
        return answerRequest(
            bell, words,
            [&window] {
                if (!window)
                    return;
                window->showNormal();
                window->raise();
                window->activateWindow();
            },
            &campus);
    });
    // A ring is answered once the loudspeakers played it; on the 主控, publications and commands asked
    // from the command line go through it.
    m_instance.setLaterHandler(
        [&bell, &campus](const QStringList& words, const SingleInstance::Answer& answer) {
            return answerLaterRequest(bell, campus, words, answer);
        });
    QObject::connect(&bell, &Bell::decisionChanged, &tray, &BellTray::setTodayLine);
    QObject::connect(&bell, &Bell::unattendedNotice, &tray, notice);
    QObject::connect(&campus, &campus::CampusRuntime::notice, &tray, notice);
    QObject::connect(&campus, &campus::CampusRuntime::buildingsInTrouble, &tray,
                     &BellTray::setCampusProblems);
    const int status = m_app.exec();
    ticks.stop();
    window.reset();
    return status;
}

} // namespace halvix
