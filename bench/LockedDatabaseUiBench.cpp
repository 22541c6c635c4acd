// How late the bell's ticks are handled while another process holds the database locked: the
// headless bell (as `halvix --headless` builds it) on a program folder, for a number of seconds of
// real time. Each tick's lateness is measured when its handling ends (the nightly reload, a retry,
// a firing and a playlist step included), from the wall-clock second it stands for.
// Usage: bench_LockedDatabaseUiBench PROGRAM_FOLDER [seconds=90]
#include "TickLateness.h"
#include "audio/PulsePlayer.h"
#include "bell/service/Bell.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM_FOLDER [seconds]\n", argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);
    const int runSeconds = argc > 2 ? std::max(5, std::atoi(argv[2])) : 90;

    const halvix::SystemClock clock;
    halvix::TickDriver ticks;
    halvix::Bell bell(argv[1], clock, halvix::pulsePlayers());
    QObject::connect(&bell, &halvix::Bell::unattendedNotice, [&](const QString& text) {
        std::fprintf(stderr, "%s notice: %s\n", halvix::bench::clockText(clock.now()).c_str(),
                     qPrintable(text.simplified()));
    });
    QObject::connect(&ticks, &halvix::TickDriver::tick, &bell, &halvix::Bell::onTick);
    const halvix::bench::TickLateness late(ticks, clock);
    bell.reloadPlan();
    ticks.start();
    QTimer::singleShot(runSeconds * 1000, &app, &QCoreApplication::quit);
    QCoreApplication::exec();
    return late.print(runSeconds) ? 0 : 1;
}
