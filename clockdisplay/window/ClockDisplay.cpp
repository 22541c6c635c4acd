#include "clockdisplay/window/ClockDisplay.h"

#include "time/SystemClock.h"

#include <QHelpEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

#include <chrono>
#include <system_error>

namespace halvix {

namespace {

// The digits' own dark green.
const QColor kLabelColour(0x1c, 0x24, 0x14);

const Clock& systemClock() {
    static const SystemClock clock;
    return clock;
}

} // namespace

ClockDisplay::ClockDisplay(std::atomic<int>& nextEntryCountdown, const Clock& clock, QWidget* parent)
    : QWidget(parent), m_countdown(nextEntryCountdown), m_clock(clock) {
    // The paint covers the whole control: nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

ClockDisplay::ClockDisplay(std::atomic<int>& nextEntryCountdown, QWidget* parent)
    : ClockDisplay(nextEntryCountdown, systemClock(), parent) {}

ClockDisplay::~ClockDisplay() {
    if (m_worker.joinable()) {
        m_worker.request_stop(); // wakes the worker's wait at once
        m_worker.join();
    }
}

int ClockDisplay::startClock(const ClockBitmaps& bitmaps) {
    if (m_worker.joinable())
        return Started;

    const QPixmap minutes(bitmaps.minutesBackground);
    const QPixmap hours(bitmaps.hoursBackground);
    const QPixmap large(bitmaps.largeDigits);
    const QPixmap medium(bitmaps.mediumDigits);
    const QPixmap small(bitmaps.smallDigits);
    for (const QPixmap* loaded : {&minutes, &hours, &large, &medium, &small})
        if (loaded->isNull())
            return BitmapFailed;

    m_minutesBackground = minutes;
    m_hoursBackground = hours;
    m_largeDigits = large;
    m_mediumDigits = medium;
    m_smallDigits = small;
    setFixedSize(m_minutesBackground.size());

    try {
        m_worker = std::jthread([this](std::stop_token stop) { runWorker(stop); });
    } catch (const std::system_error&) {
        m_minutesBackground = m_hoursBackground = QPixmap();
        m_largeDigits = m_mediumDigits = m_smallDigits = QPixmap();
        return ThreadFailed;
    }
    return Started;
}

QSize ClockDisplay::sizeHint() const {
    return m_minutesBackground.isNull() ? QSize(ClockFace::kBackgroundWidth, ClockFace::kBackgroundHeight)
                                        : m_minutesBackground.size();
}

void ClockDisplay::runWorker(std::stop_token stop) {
    // Ticks keep to a one-second grid from the start, however long a tick itself takes.
    auto next = std::chrono::steady_clock::now();
    while (!stop.stop_requested()) {
        m_face.updateDigits(m_countdown, m_clock);
        // Widgets belong to the window thread: the repaint is queued there. Destruction joins this
        // thread before the control goes, and a queued call to a destroyed object is dropped.
        QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
        next += std::chrono::seconds(1);
        // Held up for more than a tick (a loaded machine): start a new grid rather than rush.
        if (const auto now = std::chrono::steady_clock::now(); next < now)
            next = now + std::chrono::seconds(1);
        std::unique_lock lock(m_wakeMutex);
        m_wake.wait_until(lock, stop, next, [] { return false; });
    }
}

const QPixmap& ClockDisplay::strip(DigitStrip strip) const {
    switch (strip) {
    case DigitStrip::Large:
        return m_largeDigits;
    case DigitStrip::Medium:
        return m_mediumDigits;
    case DigitStrip::Small:
        break;
    }
    return m_smallDigits;
}

QPixmap ClockDisplay::composeFace(const ClockFace::Shown& shown) const {
    QPixmap face = shown.kind == FaceKind::Hours ? m_hoursBackground : m_minutesBackground;
    QPainter painter(&face);
    const auto& cells = ClockFace::layout(shown.kind);
    for (std::size_t cell = 0; cell < cells.size(); ++cell) {
        const FaceCell& place = cells[cell];
        if (place.shown)
            painter.drawPixmap(place.x, place.y, strip(place.strip), shown.digits[cell] * place.width, 0,
                               place.width, place.height);
    }
    return face;
}

bool ClockDisplay::event(QEvent* event) {
    // The countdown in words as the tooltip opens, above what the window says about the face.
    if (event->type() == QEvent::ToolTip) {
        const QString countdown = QStringLiteral("距下一次响铃: ") +
                                  QString::fromStdString(ClockFace::countdownText(m_face.shown()));
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                           toolTip().isEmpty() ? countdown : countdown + QLatin1Char('\n') + toolTip(), this);
        return true;
    }
    return QWidget::event(event);
}

void ClockDisplay::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (m_minutesBackground.isNull()) {
        // Without its bitmaps (a failed start) the control shows a plain empty face.
        painter.fillRect(event->rect(), palette().color(QPalette::Window));
        return;
    }
    const ClockFace::Shown shown = m_face.shown();
    painter.drawPixmap(0, 0, composeFace(shown));
    // The top left digits are the weekday: said beside them (their tooltip says more).
    const FaceCell& weekday = ClockFace::layout(shown.kind)[ClockFace::WeekdayUnits];
    painter.setPen(kLabelColour);
    painter.drawText(QRect(weekday.x + weekday.width + 3, weekday.y, 40, weekday.height),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("星期"));
}

} // namespace halvix
