#include "app/BellApp.h"
#include "app/CampusCommandLine.h"
#include "app/CommandLine.h"
#include "app/HeadlessApp.h"
#include "app/ProgramPlace.h"
#include "app/SingleInstance.h"
#include "audio/ProcessPriority.h"
#include "audio/SoundMemory.h"
#include "campus/CampusStatusText.h"
#include "campus/SnapshotApplier.h"
#include "cli/FolderCommands.h"
#include "common/PathText.h"
#include "time/SystemClock.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

using namespace halvix;

void print(std::FILE* stream, const QString& text) {
    if (text.isEmpty())
        return;
    std::fputs(qUtf8Printable(text), stream);
    if (!text.endsWith(QLatin1Char('\n')))
        std::fputc('\n', stream);
}

// The folder of the database and sounds: --folder, else the portable or the per-user folder.
// `problem` gets what went wrong making the per-user folder.
QString programFolder(const Invocation& invocation, std::string* problem = nullptr) {
    if (!invocation.folder.isEmpty())
        return QDir::cleanPath(QFileInfo(invocation.folder).absoluteFilePath());
    const ProgramFolderChoice choice = resolveProgramFolder();
    if (problem)
        *problem = choice.problem;
    return QString::fromStdU16String(choice.folder.u16string());
}

std::filesystem::path toPath(const QString& folder) {
    return pathFromUtf8(folder.toStdString());
}

// The running program knows its link; without one, the configuration and the stored revision.
int campusStatus(const Invocation& invocation, const QString& folder) {
    if (const auto reply = SingleInstance::send(folder, invocation.words)) {
        print(reply->status == kExitOk ? stdout : stderr, reply->text);
        return reply->status;
    }
    const std::filesystem::path place = toPath(folder);
    print(stdout, QStringLiteral("没有运行中的程序 (文件夹 ") + folder + QStringLiteral(")"));
    print(stdout, QString::fromStdString(campus::campusStatusText(campus::readCampusConfig(place),
                                                                  campus::storedRevision(place), nullptr)));
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
                print(reply->status == kExitOk ? stdout : stderr, reply->text);
                return reply->status;
            }
        return runEmergencyCommand(command, toPath(folder), QDateTime::currentMSecsSinceEpoch(), std::cout,
                                   std::cerr);
    }
    if (!needsRunningBell(invocation.command.kind)) {
        const int status = runFolderCommand(invocation.command, toPath(folder), dateOf(SystemClock().now()),
                                            std::cout, std::cerr);
        // A bell running on the folder would go on with the tables it read: it reads them again.
        if (status == kExitOk && invocation.command.kind == CommandKind::Import)
            if (const auto reply = SingleInstance::send(folder, {QStringLiteral("reload")}))
                print(reply->status == kExitOk ? stdout : stderr, reply->text);
        return status;
    }
    const auto reply = SingleInstance::send(folder, invocation.words);
    if (!reply) {
        print(stderr, QStringLiteral("没有运行中的程序 (文件夹 ") + folder + QStringLiteral(")"));
        return kExitNotRunning;
    }
    print(reply->status == kExitOk ? stdout : stderr, reply->text);
    return reply->status;
}

// Another bell has the folder: it gets the plain start's request (its window comes to the front).
// The holder may still be starting: asked again for a few seconds.
int handOver(const QString& folder) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (const auto reply = SingleInstance::send(folder, {QStringLiteral("show")})) {
            print(stdout, reply->text);
            return kExitOk;
        }
        QThread::msleep(250);
    }
    print(stderr, QStringLiteral("文件夹已被另一个程序占用, 但它没有应答: ") + folder);
    return kExitNotRunning;
}

int runBell(int argc, char* argv[], const Invocation& invocation) {
    if (invocation.headless) {
        QCoreApplication app(argc, argv);
        const QString folder = programFolder(invocation);
        SingleInstance instance(folder);
        QString error;
        if (!instance.claim(error)) {
            print(stderr, error);
            return error.isEmpty() ? handOver(folder) : kExitBadUsage;
        }
        return runHeadless(toPath(folder), instance);
    }
    QApplication app(argc, argv);
    std::string folderProblem;
    const QString folder = programFolder(invocation, &folderProblem);
    SingleInstance instance(folder);
    QString error;
    if (!instance.claim(error)) {
        print(stderr, error);
        return error.isEmpty() ? handOver(folder) : kExitBadUsage;
    }
    return BellApp(app, toPath(folder), instance, folderProblem).run();
}

} // namespace

int main(int argc, char* argv[]) {
    // The per-user data folder is named after it: ~/.local/share/halvix.
    QCoreApplication::setApplicationName(QStringLiteral("halvix"));
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const Invocation invocation = parseInvocation(arguments);
    switch (invocation.action) {
    case Invocation::Action::Help:
    case Invocation::Action::Version:
        print(stdout, invocation.text);
        return kExitOk;
    case Invocation::Action::BadUsage:
        print(stderr, invocation.text);
        return kExitBadUsage;
    case Invocation::Action::Run:
        break;
    }
    if (invocation.command.kind != CommandKind::None) {
        QCoreApplication app(argc, argv);
        const QString folder = programFolder(invocation);
        if (!QFileInfo(folder).isDir()) {
            print(stderr, QStringLiteral("文件夹不存在: ") + folder);
            return kExitBadUsage;
        }
        return runCommand(invocation, folder);
    }

    // Once, before any thread starts: every thread (the clock's, the decoder's, the media framework's)
    // inherits it. Best effort; a bell still rings at normal priority.
    halvix::raiseProcessPriority();
    halvix::returnLargeBlocksToTheSystem();
    halvix::shareHeapsBetweenThreads();
    const int status = runBell(argc, argv, invocation);
    // Everything of ours is closed by now (window, tray icon, players, clock thread; the database is
    // never held open). The media framework's sound-server client can still abort while its global
    // state is torn down at exit, which would turn a clean end into a crash: skip that teardown.
    std::fflush(nullptr);
    std::_Exit(status);
}
