#include "clockdisplay/window/ClockDisplay.h"

#include "time/SystemClock.h"

#include <QPaintEvent>
#include <QPainter>

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

int ClockDisplay::startClock(const QString& background, const QString& largeDigits,
                             const QString& smallDigits) {
    if (m_worker.joinable())
        return Started;

    QPixmap loadedSmall(smallDigits);
    QPixmap loadedLarge(largeDigits);
    QPixmap loadedBackground(background);
    if (loadedSmall.isNull() || loadedLarge.isNull() || loadedBackground.isNull())
        return BitmapFailed;

    m_smallDigits = loadedSmall;
    m_largeDigits = loadedLarge;
    m_background = loadedBackground;
    setFixedSize(m_background.size());

    try {
        m_worker = std::jthread([this](std::stop_token stop) { runWorker(stop); });
    } catch (const std::system_error&) {
        m_background = m_largeDigits = m_smallDigits = QPixmap();
        return ThreadFailed;
    }
    return Started;
}

QSize ClockDisplay::sizeHint() const {
    return m_background.isNull() ? QSize(ClockFace::kBackgroundWidth, ClockFace::kBackgroundHeight)
                                 : m_background.size();
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

void ClockDisplay::composeFace() {
    const ClockFace::Digits digits = m_face.digits();
    QPainter painter(&m_background);
    const auto& cells = ClockFace::layout();
    for (std::size_t cell = 0; cell < cells.size(); ++cell) {
        const FaceCell& place = cells[cell];
        const QPixmap& strip = place.strip == DigitStrip::Large ? m_largeDigits : m_smallDigits;
        painter.drawPixmap(place.x, place.y, strip, digits[cell] * place.width, 0, place.width, place.height);
    }
}

void ClockDisplay::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (m_background.isNull()) {
        // Without its bitmaps (a failed start) the control shows a plain empty face.
        painter.fillRect(event->rect(), palette().color(QPalette::Window));
        return;
    }
    composeFace();
    painter.drawPixmap(0, 0, m_background);
    // The top left digits are the weekday: said beside them (their tooltip says more).
    const FaceCell& weekday = ClockFace::layout()[ClockFace::CellCount - 1];
    painter.setPen(kLabelColour);
    painter.drawText(QRect(weekday.x + weekday.width + 3, weekday.y, 40, weekday.height),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("星期"));
}

} // namespace halvix
