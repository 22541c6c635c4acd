#include "app/BellApp.h"
#include "audio/ProcessPriority.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    // Once, before any thread starts: every thread (the clock's, the decoder's, the media framework's)
    // inherits it. Best effort; a bell still rings at normal priority.
    halvix::raiseProcessPriority();
    int status = 0;
    {
        QApplication app(argc, argv);
        // The per-user data folder is named after it: ~/.local/share/halvix.
        QApplication::setApplicationName(QStringLiteral("halvix"));
        status = halvix::BellApp(app).run();
    }
    // Everything of ours is closed by now (window, tray icon, players, clock thread; the database is
    // never held open). The media framework's sound-server client can still abort while its global
    // state is torn down at exit, which would turn a clean end into a crash: skip that teardown.
    std::fflush(nullptr);
    std::_Exit(status);
}
