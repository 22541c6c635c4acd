// halvix-service: the bell without window or tray, on QtCore and the sound server's client alone.
// `halvix --headless` runs it; it takes the same words (--folder DIR, --headless).
#include "app/CommandLine.h"
#include "app/HeadlessApp.h"
#include "audio/ProcessPriority.h"
#include "audio/PulsePlayer.h"
#include "audio/SoundMemory.h"
#include "store/DatabaseLocks.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    using namespace halvix;
    keepDatabaseLocks(); // before any database opens, as the window program does
    QCoreApplication::setApplicationName(QStringLiteral("halvix"));
    const Invocation invocation = parseInvocation(argc, argv);
    if (const std::optional<int> status = answerAtOnce(invocation))
        return *status;
    if (invocation.command.kind != CommandKind::None) {
        printText(stderr, QStringLiteral("halvix-service 只运行无窗口的响铃; 命令请用 halvix"));
        return kExitBadUsage;
    }
    // Before any thread starts, as the window program does.
    raiseProcessPriority();
    returnLargeBlocksToTheSystem();
    shareOneHeap();
    // Qt's own event loop rather than GLib's: the service has no window toolkit to share a loop
    // with, and GLib's holds about 0.5 MB more of heap. A setting of the user's is kept.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    const int status = runHeadlessService(argc, argv, invocation, &pulsePlayers);
    std::fflush(nullptr);
    std::_Exit(status);
}
