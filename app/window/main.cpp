#include "app/window/BellApp.h"
#include "app/CampusCommandLine.h"
#include "app/CommandLine.h"
#include "app/HeadlessApp.h"
#include "app/InstanceRequests.h"
#include "app/SingleInstance.h"
#include "app/SoundOutputProbe.h"
#include "audio/ProcessPriority.h"
#include "audio/PulsePlayer.h"
#include "audio/SoundMemory.h"
#include "campus/CampusStatusText.h"
#include "campus/SnapshotApplier.h"
#include "cli/FolderCommands.h"
#include "common/PathText.h"
#include "store/DatabaseLocks.h"
#include "time/SystemClock.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <unistd.h>

namespace {

using namespace halvix;

std::filesystem::path toPath(const QString& folder) {
    return pathFromUtf8(folder.toStdString());
}

// The running program knows its link; without one, the configuration and the stored revision.
int campusStatus(const Invocation& invocation, const QString& folder) {
    if (const auto reply = SingleInstance::send(folder, invocation.words)) {
        printText(reply->status == kExitOk ? stdout : stderr, reply->text);
        return reply->status;
    }
    const std::filesystem::path place = toPath(folder);
    printText(stdout, QStringLiteral("没有运行中的程序 (文件夹 ") + folder + QStringLiteral(")"));
    printText(stdout, QString::fromStdString(campus::campusStatusText(
                          campus::readCampusConfig(place), campus::storedRevision(place), nullptr)));
    return kExitNotRunning;
}

// A command without a bell of its own: on the folder, or sent to the folder's running bell.
int runCommand(const Invocation& invocation, const QString& folder) {
    if (invocation.command.kind == CommandKind::Campus &&
        invocation.command.campus.action == CampusWords::Action::Status)
        return campusStatus(invocation, folder);
    if (invocation.command.kind == CommandKind::Campus)
        return runCampusCommand(invocation.command, invocation.words, folder, std::cout, std::cerr);
    const Command& command = invocation.command;
    if (command.kind == CommandKind::Emergency) {
        // A running bell obeys at once (and keeps the state); without one the state waits for its start.
        const bool changes = command.clear || !command.sound.empty();
        if (changes)
            if (const auto reply = SingleInstance::send(folder, invocation.words)) {
                printText(reply->status == kExitOk ? stdout : stderr, reply->text);
                return reply->status;
            }
        return runEmergencyCommand(command, toPath(folder), QDateTime::currentMSecsSinceEpoch(), std::cout,
                                   std::cerr);
    }
    if (!needsRunningBell(invocation.command.kind)) {
        const int status = runFolderCommand(invocation.command, toPath(folder), dateOf(SystemClock().now()),
                                            std::cout, std::cerr, [] { return soundOutputProblem(); });
        // A bell running on the folder would go on with the tables it read: it reads them again.
        if (status == kExitOk && invocation.command.kind == CommandKind::Import)
            if (const auto reply = SingleInstance::send(folder, {QStringLiteral("reload")}))
                printText(reply->status == kExitOk ? stdout : stderr, reply->text);
        return status;
    }
    // A ring is answered once the loudspeakers played it, or the running bell gave up waiting.
    const int waitMs = command.kind == CommandKind::Ring ? kRingAnswerMs + 5000 : 10000;
    const auto reply = SingleInstance::send(folder, invocation.words, waitMs);
    if (!reply) {
        printText(stderr, QStringLiteral("没有运行中的程序 (文件夹 ") + folder + QStringLiteral(")"));
        return kExitNotRunning;
    }
    printText(reply->status == kExitOk ? stdout : stderr, reply->text);
    return reply->status;
}

// The service built or installed with the program: beside it, or in the package's private folder.
std::filesystem::path servicePath() {
    std::error_code error;
    const std::filesystem::path own = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    for (const std::filesystem::path& candidate :
         {own / "halvix-service", own / "../lib/halvix/halvix-service"})
        if (!error && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    return {};
}

// Without a window the bell runs in the service, which never loads the window, GUI or media
// libraries this program links. Only when it is missing does this program run the bell itself.
int runHeadlessBell(int argc, char* argv[], const Invocation& invocation) {
    if (const std::filesystem::path service = servicePath(); !service.empty()) {
        ::execv(service.c_str(), argv);
        printText(stderr, QStringLiteral("无法启动 %1: %2, 由本程序运行")
                              .arg(QString::fromStdString(service.string()),
                                   QString::fromLocal8Bit(std::strerror(errno))));
    }
    halvix::raiseProcessPriority();
    halvix::returnLargeBlocksToTheSystem();
    return runHeadlessService(argc, argv, invocation, &pulsePlayers);
}

int runBell(int argc, char* argv[], const Invocation& invocation) {
    if (invocation.headless)
        return runHeadlessBell(argc, argv, invocation);
    QApplication app(argc, argv);
    std::string folderProblem;
    const QString folder = programFolder(invocation, &folderProblem);
    SingleInstance instance(folder);
    if (const std::optional<int> status = claimOrHandOver(instance, folder))
        return *status;
    return BellApp(app, toPath(folder), instance, folderProblem).run();
}

} // namespace

int main(int argc, char* argv[]) {
    // Before any database opens: nothing else in the process (a file dialog, a sound check) may
    // drop SQLite's locks on them.
    halvix::keepDatabaseLocks();
    // The per-user data folder is named after it: ~/.local/share/halvix.
    QCoreApplication::setApplicationName(QStringLiteral("halvix"));
    const Invocation invocation = parseInvocation(argc, argv);
    if (const std::optional<int> status = answerAtOnce(invocation))
        return *status;
    if (invocation.command.kind != CommandKind::None) {
        QCoreApplication app(argc, argv);
        const QString folder = programFolder(invocation);
        if (!QFileInfo(folder).isDir()) {
            printText(stderr, QStringLiteral("文件夹不存在: ") + folder);
            return kExitBadUsage;
        }
        return runCommand(invocation, folder);
    }

    // Once, before any thread starts: every thread (the clock's, the decoder's, the sound output's)
    // inherits it. Best effort; a bell still rings at normal priority.
    if (!invocation.headless) {
        halvix::raiseProcessPriority();
        halvix::returnLargeBlocksToTheSystem();
        halvix::shareHeapsBetweenThreads();
    }
    const int status = runBell(argc, argv, invocation);
    // Everything of ours is closed by now (window, tray icon, players, clock thread; the database is
    // never held open). Libraries' global state torn down at exit (the sound server's client, the
    // accessibility bridge) could still abort, which would turn a clean end into a crash: skip it.
    std::fflush(nullptr);
    std::_Exit(status);
}
