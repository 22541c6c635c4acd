#pragma once

#include <QObject>

#include <chrono>
#include <memory>

namespace halvix {

// A single-shot timer with sub-millisecond precision. On Linux it is a timerfd watched by the
// event loop: the loop's own timers wait whole milliseconds and come up to several milliseconds
// late, where a bell's tick should come just after its second. Elsewhere a precise QTimer.
class WakeTimer : public QObject {
    Q_OBJECT

public:
    explicit WakeTimer(QObject* parent = nullptr);
    ~WakeTimer() override;

    // Fires once, no sooner than `wait` from now; a running wait is replaced.
    void start(std::chrono::nanoseconds wait);
    void stop();
    bool isActive() const { return m_active; }

signals:
    void timeout();

private:
    void onFired();

    struct Source;
    std::unique_ptr<Source> m_source;
    bool m_active = false;
};

} // namespace halvix
