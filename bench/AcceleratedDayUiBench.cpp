// Resident memory of the main window while its bell is ticked through whole days in accelerated
// time: every entry of the default timetable fires and plays its real sound. Memory should stay
// flat from day to day. Usage: bench_AcceleratedDayUiBench PROGRAM_FOLDER [days=3]
#include "audio/PulsePlayer.h"
#include "audio/SoundMemory.h"
#include "bell/service/Bell.h"
#include "bell/window/MainDialog.h"
#include "store/TableCatalogue.h"
#include "store/TextTable.h"
#include "support/FakeClock.h"
#include "support/ScriptedPrompts.h"
#include "time/LocalTime.h"
#include "widgets/Resources.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// Days from 2027-06-07, a Monday.
void setDay(halvix::LocalTime& t, int index) {
    t.year = 2027;
    t.month = 6;
    t.day = 7 + index % 7;
    t.weekday = 1 + index % 7;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM_FOLDER [days]\n", argv[0]);
        return 2;
    }
    halvix::returnLargeBlocksToTheSystem(); // as the program does
    halvix::shareHeapsBetweenThreads();
    QApplication app(argc, argv);
    halvix::initResources();
    const int days = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    // Work on a copy: the bell must not touch the user's folder.
    const auto work = std::filesystem::temp_directory_path() / "halvix-accelerated-day";
    std::filesystem::remove_all(work);
    std::filesystem::copy(argv[1], work, std::filesystem::copy_options::recursive);

    halvix::test::FakeClock clock;
    setDay(clock.time, 0);
    clock.time.hour = 0;
    halvix::test::ScriptedPrompts prompts; // answers nothing: a bench never waits on a message box
    halvix::Bell bell(work, clock, halvix::pulsePlayers());
    halvix::MainDialog window(bell, prompts);
    window.show();
    app.processEvents();

    const long start = residentKb();
    long afterFirstHour = 0;
    int rang = 0;
    std::printf("resident memory at start: %ld kB\n", start);
    for (int d = 0; d < days; ++d) {
        setDay(clock.time, d);
        for (int second = 0; second < 86400; ++second) {
            clock.time.hour = second / 3600;
            clock.time.minute = second / 60 % 60;
            clock.time.second = second % 60;
            window.onTick(clock.time);
            if (second % 10 == 0) {
                app.processEvents();
                // As the program's event loop does: processEvents outside a loop leaves the
                // objects given to deleteLater alive, which would count as growth here alone.
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            }
            if (d == 0 && second == 3599)
                afterFirstHour = residentKb();
        }
        int done = 0;
        for (int r = 0; r < window.plan().toTable().rowCount(); ++r)
            done += window.plan().toTable().cell(r, 5) == "完成";
        rang += done;
        std::printf("day %d: %d of %d entries done, resident memory %ld kB\n", d + 1, done,
                    window.plan().toTable().rowCount(), residentKb());
    }
    std::printf("accelerated: after one hour %ld kB, after %d days %ld kB (start %ld kB), %d entries done, "
                "%zu messages\n",
                afterFirstHour, days, residentKb(), start, rang, prompts.messages.size());
    std::filesystem::remove_all(work);
    return 0;
}
