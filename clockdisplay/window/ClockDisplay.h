#pragma once

#include "clockdisplay/ClockFace.h"

#include <QPixmap>
#include <QWidget>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <thread>

namespace halvix {

class Clock;

// The program's own digit bitmaps (see res/resources.qrc; call halvix::initResources() first).
inline constexpr char kClockBackgroundResource[] = ":/clock/background.png";
inline constexpr char kClockHoursBackgroundResource[] = ":/clock/background-hours.png";
inline constexpr char kClockLargeDigitsResource[] = ":/clock/digits-large.png";
inline constexpr char kClockMediumDigitsResource[] = ":/clock/digits-medium.png";
inline constexpr char kClockSmallDigitsResource[] = ":/clock/digits-small.png";

// The bitmaps a face is drawn from (resource or file paths): a background for each FaceKind and
// a strip for each DigitStrip.
struct ClockBitmaps {
    QString minutesBackground = kClockBackgroundResource;
    QString hoursBackground = kClockHoursBackgroundResource;
    QString largeDigits = kClockLargeDigitsResource;
    QString mediumDigits = kClockMediumDigitsResource;
    QString smallDigits = kClockSmallDigitsResource;
};

// The digit panel: the countdown to the next bell, MM:SS in large digits under an hour and
// HH:MM:SS from an hour on, and the weekday at the top left; its tooltip says the countdown in
// words. A worker thread of its own shows and decrements the shared countdown once a second and
// asks the window thread for a repaint.
class ClockDisplay : public QWidget {
    Q_OBJECT

public:
    enum StartResult { Started = 0, BitmapFailed = 1, ThreadFailed = 2 };

    // `nextEntryCountdown` and `clock` must outlive the control; the second form reads the system clock.
    ClockDisplay(std::atomic<int>& nextEntryCountdown, const Clock& clock, QWidget* parent = nullptr);
    explicit ClockDisplay(std::atomic<int>& nextEntryCountdown, QWidget* parent = nullptr);
    ClockDisplay(std::atomic<int>& nextEntryCountdown, const Clock&& clock,
                 QWidget* parent = nullptr) = delete;
    ~ClockDisplay() override;

    // Loads the bitmaps, sizes the control to the background and starts the worker. Returns a
    // StartResult; a second call while the worker runs returns Started and changes nothing.
    int startClock(const ClockBitmaps& bitmaps = {});
    bool isRunning() const { return m_worker.joinable(); }

    const ClockFace& face() const { return m_face; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    void runWorker(std::stop_token stop);
    QPixmap composeFace(const ClockFace::Shown& shown) const;
    const QPixmap& strip(DigitStrip strip) const;

    std::atomic<int>& m_countdown;
    const Clock& m_clock;
    ClockFace m_face;

    QPixmap m_minutesBackground;
    QPixmap m_hoursBackground;
    QPixmap m_largeDigits;
    QPixmap m_mediumDigits;
    QPixmap m_smallDigits;

    std::mutex m_wakeMutex;
    std::condition_variable_any m_wake;
    std::jthread m_worker; // last: stopped and joined before the members above go
};

} // namespace halvix
