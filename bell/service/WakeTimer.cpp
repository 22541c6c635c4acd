#include "bell/service/WakeTimer.h"

#include <algorithm>

#ifdef __linux__
#include <QSocketNotifier>

#include <cstdint>
#include <sys/timerfd.h>
#include <unistd.h>
#endif
#include <QTimer>

namespace halvix {

using std::chrono::nanoseconds;

#ifdef __linux__

// A monotonic timerfd: the wait is relative, so a wall clock set meanwhile does not move it (the
// tick driver re-aims from the wall clock at every tick). Without a timerfd (never seen, but the
// call may fail) the QTimer serves.
struct WakeTimer::Source {
    int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer fallback;

    ~Source() {
        notifier.reset();
        if (fd >= 0)
            ::close(fd);
    }
    void arm(nanoseconds wait) {
        if (fd < 0) {
            fallback.start(int(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
            return;
        }
        // Zero would disarm the timer: the shortest wait is one nanosecond.
        const long long ns = std::max<long long>(wait.count(), 1);
        itimerspec due{};
        due.it_value.tv_sec = ns / 1'000'000'000;
        due.it_value.tv_nsec = ns % 1'000'000'000;
        timerfd_settime(fd, 0, &due, nullptr);
    }
    void disarm() {
        fallback.stop();
        if (fd >= 0) {
            const itimerspec none{};
            timerfd_settime(fd, 0, &none, nullptr);
            drain();
        }
    }
    void drain() {
        std::uint64_t expirations = 0;
        [[maybe_unused]] const auto got = ::read(fd, &expirations, sizeof expirations);
    }
};

WakeTimer::WakeTimer(QObject* parent) : QObject(parent), m_source(std::make_unique<Source>()) {
    m_source->fallback.setSingleShot(true);
    m_source->fallback.setTimerType(Qt::PreciseTimer);
    connect(&m_source->fallback, &QTimer::timeout, this, &WakeTimer::onFired);
    if (m_source->fd >= 0) {
        m_source->notifier = std::make_unique<QSocketNotifier>(m_source->fd, QSocketNotifier::Read);
        connect(m_source->notifier.get(), &QSocketNotifier::activated, this, [this] {
            m_source->drain();
            onFired();
        });
    }
}

#else

struct WakeTimer::Source {
    QTimer fallback;
    void arm(nanoseconds wait) {
        // Whole milliseconds, rounded up, so it never fires before its time.
        fallback.start(int(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
    }
    void disarm() { fallback.stop(); }
};

WakeTimer::WakeTimer(QObject* parent) : QObject(parent), m_source(std::make_unique<Source>()) {
    m_source->fallback.setSingleShot(true);
    m_source->fallback.setTimerType(Qt::PreciseTimer);
    connect(&m_source->fallback, &QTimer::timeout, this, &WakeTimer::onFired);
}

#endif

WakeTimer::~WakeTimer() = default;

void WakeTimer::start(nanoseconds wait) {
    m_active = true;
    m_source->arm(std::max(wait, nanoseconds(0)));
}

void WakeTimer::stop() {
    m_active = false;
    m_source->disarm();
}

void WakeTimer::onFired() {
    if (!m_active)
        return;
    m_active = false;
    emit timeout();
}

} // namespace halvix
