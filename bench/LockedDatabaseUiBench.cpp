// How late the bell's ticks are handled while another process holds the database locked: the
// headless bell (as `halvix --headless` builds it) on a program folder, for a number of seconds of
// real time. Each tick's lateness is measured when its handling ends (the nightly reload, a retry,
// a firing and a playlist step included), from the wall-clock second it stands for.
// Usage: bench_LockedDatabaseUiBench PROGRAM_FOLDER [seconds=90]
#include "audio/MemoryPlayer.h"
#include "bell/Bell.h"
#include "bell/TickDriver.h"
#include "time/ClockText.h"
#include "time/LocalTime.h"
#include "time/SystemClock.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct TickLateness {
    double ms = 0;
    halvix::LocalTime at;
};

std::string clockText(const halvix::LocalTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM_FOLDER [seconds]\n", argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);
    const int runSeconds = argc > 2 ? std::max(5, std::atoi(argv[2])) : 90;

    using namespace std::chrono;
    const halvix::SystemClock clock;
    halvix::TickDriver ticks;
    halvix::Bell bell(argv[1], clock, halvix::sinkPlayers());
    std::vector<TickLateness> late;
    QObject::connect(&bell, &halvix::Bell::unattendedNotice, [&](const QString& text) {
        std::fprintf(stderr, "%s notice: %s\n", clockText(clock.now()).c_str(),
                     qPrintable(text.simplified()));
    });
    // Connected after the bell: runs when the bell's handling of the tick has ended.
    QObject::connect(&ticks, &halvix::TickDriver::tick, &bell, &halvix::Bell::onTick);
    QObject::connect(&ticks, &halvix::TickDriver::tick, [&](const halvix::LocalTime& local) {
        const auto now = system_clock::now();
        const auto second = seconds(halvix::wallSecond(local)) - seconds(halvix::wallSecond(clock.now())) +
                            floor<seconds>(now);
        late.push_back({duration<double, std::milli>(now - second).count(), local});
    });
    bell.reloadPlan();
    ticks.start();
    QTimer::singleShot(runSeconds * 1000, &app, &QCoreApplication::quit);
    QCoreApplication::exec();

    if (late.empty()) {
        std::printf("no tick in %d s\n", runSeconds);
        return 1;
    }
    std::vector<TickLateness> sorted = late;
    std::sort(sorted.begin(), sorted.end(), [](auto& a, auto& b) { return a.ms < b.ms; });
    const auto at = [&](double q) { return sorted[std::size_t(q * double(sorted.size() - 1))].ms; };
    const long slow = std::count_if(late.begin(), late.end(), [](auto& t) { return t.ms > 20; });
    std::printf("ticks %zu over %d s (%s to %s): handled after the second p50 %.2f ms, p99 %.2f ms, "
                "max %.2f ms (the tick of %s); %ld later than 20 ms; seconds missed %lld\n",
                late.size(), runSeconds, clockText(late.front().at).c_str(),
                clockText(late.back().at).c_str(), at(0.5), at(0.99), sorted.back().ms,
                clockText(sorted.back().at).c_str(), slow, static_cast<long long>(ticks.missedSeconds()));
    for (const TickLateness& tick : late)
        if (tick.ms > 20)
            std::printf("  %s %.1f ms\n", clockText(tick.at).c_str(), tick.ms);
    return 0;
}
