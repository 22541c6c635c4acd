// How late each tick of the bell's timer comes after the wall-clock second it stands for, over a
// few minutes of real time. Usage: bench_TickUiBench [seconds=130] [--raise-priority]
#include "audio/ProcessPriority.h"
#include "bell/service/TickDriver.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runSeconds = 130;
    bool raise = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--raise-priority") == 0)
            raise = true;
        else
            runSeconds = std::max(5, std::atoi(argv[i]));
    }
    if (raise && !halvix::raiseProcessPriority())
        std::printf("priority could not be raised\n");

    using namespace std::chrono;
    std::vector<double> lateMs;
    long long previous = 0;
    int repeated = 0;
    int skipped = 0;

    halvix::TickDriver driver;
    QObject::connect(&driver, &halvix::TickDriver::tick, [&](const halvix::LocalTime& local) {
        const auto now = system_clock::now();
        const auto second = floor<seconds>(now);
        lateMs.push_back(duration<double, std::milli>(now - second).count());
        const long long current = second.time_since_epoch().count();
        if (previous != 0 && current <= previous)
            ++repeated;
        if (previous != 0 && current > previous + 1)
            skipped += int(current - previous - 1);
        if (local.second != int(current % 60))
            std::printf("tick reports second %d at second %lld\n", local.second, current % 60);
        previous = current;
    });
    driver.start();
    QTimer::singleShot(runSeconds * 1000, &app, &QCoreApplication::quit);
    app.exec();

    std::sort(lateMs.begin(), lateMs.end());
    const auto at = [&](double q) { return lateMs[std::size_t(q * double(lateMs.size() - 1))]; };
    std::printf("ticks %zu over %d s%s: late after the second p50 %.2f ms, p99 %.2f ms, max %.2f ms; "
                "seconds handled twice %d, skipped %d (driver counted %lld)\n",
                lateMs.size(), runSeconds, raise ? " (raised priority)" : "", at(0.5), at(0.99),
                lateMs.back(), repeated, skipped, static_cast<long long>(driver.missedSeconds()));
    return repeated == 0 ? 0 : 1;
}
