#pragma once

#include "time/LocalTime.h"

#include "bell/service/WakeTimer.h"

#include <QObject>

#include <chrono>
#include <cstdint>
#include <functional>

namespace halvix {

// The bell's one-second beat: a precise single-shot timer re-armed for just after each wall-clock
// second, so ticks never drift and never share a second. A tick that comes more than a second late
// (a held-up window thread, a suspended machine) reports the time it is; the missed seconds are not
// replayed, since the bell fires overdue entries on the next tick anyway.
class TickDriver : public QObject {
    Q_OBJECT

public:
    // How long after the second boundary a tick is aimed. The timer wakes at or after its time;
    // the margin covers the wall clock's reading against the timer's own clock, and a tick that
    // still came early is re-armed.
    static constexpr std::chrono::microseconds kAfterBoundary{300};
    // A wall clock set back by less than this is waited out (no second is handled twice); set back
    // further, the driver follows it at once.
    static constexpr std::chrono::seconds kBackwardStepLimit{60};

    using WallClock = std::function<std::chrono::system_clock::time_point()>;

    // `wallClock` reads the time of day (the system's when empty); tests hand in one they can step.
    explicit TickDriver(QObject* parent = nullptr, WallClock wallClock = {});

    void start();
    void stop();
    bool isActive() const { return m_timer.isActive(); }

    // Seconds that passed without a tick because a tick came late.
    std::int64_t missedSeconds() const { return m_missedSeconds; }

signals:
    void tick(const halvix::LocalTime& now);

private:
    void onTimeout();
    void armForNextSecond(std::chrono::system_clock::time_point now);

    WallClock m_wallClock;
    WakeTimer m_timer;
    std::int64_t m_lastSecond = 0; // wall-clock second (since the epoch) of the last tick; 0 before the first
    std::int64_t m_missedSeconds = 0;
};

} // namespace halvix
