#include "bell/service/TickDriver.h"

#include "time/SystemClock.h"

namespace halvix {

using std::chrono::floor;
using std::chrono::seconds;
using std::chrono::system_clock;

TickDriver::TickDriver(QObject* parent, WallClock wallClock)
    : QObject(parent), m_wallClock(std::move(wallClock)) {
    if (!m_wallClock)
        m_wallClock = [] { return system_clock::now(); };
    connect(&m_timer, &WakeTimer::timeout, this, &TickDriver::onTimeout);
}

void TickDriver::start() {
    if (m_timer.isActive())
        return;
    m_lastSecond = 0;
    armForNextSecond(m_wallClock());
}

void TickDriver::stop() {
    m_timer.stop();
}

void TickDriver::onTimeout() {
    const auto now = m_wallClock();
    const std::int64_t second = floor<seconds>(now.time_since_epoch()).count();

    if (m_lastSecond != 0 && second <= m_lastSecond && m_lastSecond - second < kBackwardStepLimit.count()) {
        // Early (the second it already handled) or the clock was set back a little: wait until the
        // wall clock is past the last handled second again.
        armForNextSecond(now);
        return;
    }
    if (m_lastSecond != 0 && second > m_lastSecond + 1)
        m_missedSeconds += second - m_lastSecond - 1;
    m_lastSecond = second;

    // Armed before the tick is delivered, so the time a slot takes never shifts the next tick.
    armForNextSecond(now);
    emit tick(SystemClock::localTimeOf(static_cast<std::time_t>(second)));
}

void TickDriver::armForNextSecond(system_clock::time_point now) {
    // Aim at the boundary after the last handled second, so a clock set back a little is waited out.
    auto next = floor<seconds>(now) + seconds(1);
    const auto afterLast = std::chrono::time_point<system_clock, seconds>(seconds(m_lastSecond + 1));
    if (m_lastSecond != 0 && afterLast > next && afterLast - next < kBackwardStepLimit)
        next = afterLast;
    m_timer.start(next + kAfterBoundary - now);
}

} // namespace halvix
