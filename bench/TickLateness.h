#pragma once
// How late the bell's ticks are handled: each tick's lateness when its handling ends, from the
// wall-clock second it stands for, and the summary line the bench scripts read.
#include "bell/service/TickDriver.h"
#include "time/ClockText.h"
#include "time/LocalTime.h"
#include "time/SystemClock.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace halvix::bench {

inline std::string clockText(const LocalTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return text;
}

class TickLateness {
public:
    // Connect after whatever handles the ticks: the slot runs when that handling has ended.
    TickLateness(const TickDriver& ticks, const Clock& clock) : m_ticks(ticks) {
        QObject::connect(&ticks, &TickDriver::tick, [this, &clock](const LocalTime& local) {
            using namespace std::chrono;
            const auto now = system_clock::now();
            const auto second =
                seconds(wallSecond(local)) - seconds(wallSecond(clock.now())) + floor<seconds>(now);
            m_late.push_back({duration<double, std::milli>(now - second).count(), local});
        });
    }

    // "ticks N over S s (FROM to TO): handled after the second p50 .. ms, p99 .. ms, max .. ms (the
    // tick of T); K later than 20 ms; seconds missed M", then each tick later than 20 ms. False
    // without a tick.
    bool print(int runSeconds) const {
        if (m_late.empty()) {
            std::printf("no tick in %d s\n", runSeconds);
            return false;
        }
        std::vector<Late> sorted = m_late;
        std::sort(sorted.begin(), sorted.end(), [](auto& a, auto& b) { return a.ms < b.ms; });
        const auto at = [&](double q) { return sorted[std::size_t(q * double(sorted.size() - 1))].ms; };
        const long slow = std::count_if(m_late.begin(), m_late.end(), [](auto& t) { return t.ms > 20; });
        std::printf("ticks %zu over %d s (%s to %s): handled after the second p50 %.2f ms, p99 %.2f ms, "
                    "max %.2f ms (the tick of %s); %ld later than 20 ms; seconds missed %lld\n",
                    m_late.size(), runSeconds, clockText(m_late.front().at).c_str(),
                    clockText(m_late.back().at).c_str(), at(0.5), at(0.99), sorted.back().ms,
                    clockText(sorted.back().at).c_str(), slow,
                    static_cast<long long>(m_ticks.missedSeconds()));
        for (const Late& tick : m_late)
            if (tick.ms > 20)
                std::printf("  %s %.1f ms\n", clockText(tick.at).c_str(), tick.ms);
        return true;
    }

private:
    struct Late {
        double ms = 0;
        LocalTime at;
    };
    const TickDriver& m_ticks;
    std::vector<Late> m_late;
};

} // namespace halvix::bench
