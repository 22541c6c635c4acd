#include "clockdisplay/window/ClockDisplay.h"
#include "support/FakeClock.h"
#include "time/LocalTime.h"
#include "widgets/Resources.h"

#include <QElapsedTimer>
#include <QImage>
#include <QtTest>

#include <atomic>
#include <memory>

using namespace halvix;
using test::FakeClock;

namespace {

QImage rgb(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

// Cell `digit` of a strip, as the face draws it.
QImage stripCell(const char* resource, int digit, int width, int height) {
    return rgb(QImage(resource).copy(digit * width, 0, width, height));
}

QImage region(const QImage& face, const FaceCell& cell) {
    return rgb(face.copy(cell.x, cell.y, cell.width, cell.height));
}

int startDefault(ClockDisplay& display) {
    return display.startClock(kClockBackgroundResource, kClockLargeDigitsResource, kClockSmallDigitsResource);
}

// A display over a countdown of its own, on a clock that stands on `weekday`.
struct DisplayRig {
    DisplayRig(int seconds, int weekday) : countdown(seconds), clock({.weekday = weekday}) {}
    std::atomic<int> countdown;
    const FakeClock clock;
    ClockDisplay widget{countdown, clock};
};

} // namespace

class ClockDisplayTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initResources(); }

    void bitmapsHaveTheirSizesAndTheIdleFaceShowsEights() {
        QCOMPARE(QImage(kClockBackgroundResource).size(), QSize(151, 72));
        QCOMPARE(QImage(kClockLargeDigitsResource).size(), QSize(240, 34));
        QCOMPARE(QImage(kClockSmallDigitsResource).size(), QSize(120, 17));
        QCOMPARE(QImage(":/icons/bell.png").size(), QSize(64, 64));

        const QImage background(kClockBackgroundResource);
        for (const FaceCell& cell : ClockFace::layout()) {
            if (cell.y == 5)
                continue; // the weekday's place is blank until the first tick
            const QImage eight = cell.strip == DigitStrip::Large
                                     ? stripCell(kClockLargeDigitsResource, 8, 24, 34)
                                     : stripCell(kClockSmallDigitsResource, 8, 12, 17);
            QCOMPARE(region(background, cell), eight);
        }
    }

    void startClockResults() {
        DisplayRig d(500, 1);
        d.widget.resize(40, 30);

        QCOMPARE(
            d.widget.startClock(kClockBackgroundResource, kClockLargeDigitsResource, ":/clock/missing.png"),
            int(ClockDisplay::BitmapFailed));
        QCOMPARE(d.widget.startClock("/nonexistent/background.png", kClockLargeDigitsResource,
                                     kClockSmallDigitsResource),
                 int(ClockDisplay::BitmapFailed));
        QVERIFY(!d.widget.isRunning());
        QCOMPARE(d.widget.size(), QSize(40, 30));

        QCOMPARE(startDefault(d.widget), int(ClockDisplay::Started));
        QVERIFY(d.widget.isRunning());
        QCOMPARE(d.widget.size(), QSize(151, 72));

        // Already running: the same answer, and the bitmaps it was started with stay.
        QCOMPARE(d.widget.startClock("/nonexistent/a.png", "/nonexistent/b.png", "/nonexistent/c.png"),
                 int(ClockDisplay::Started));
        QVERIFY(d.widget.isRunning());
        QVERIFY(!d.widget.grab().isNull());
    }

    void paintedFaceShowsTheCountdownAndWeekday() {
        DisplayRig d(3725, 6);
        QCOMPARE(startDefault(d.widget), int(ClockDisplay::Started));
        // 3725 s = 01:02:05; minutes and hours stay put for the next five seconds.
        QTRY_COMPARE(d.widget.face().digits()[ClockFace::HourUnits], 1);

        const QImage face = d.widget.grab().toImage();
        QCOMPARE(face.size(), QSize(151, 72));
        const auto& cells = ClockFace::layout();
        const auto large = [](int digit) { return stripCell(kClockLargeDigitsResource, digit, 24, 34); };
        const auto small = [](int digit) { return stripCell(kClockSmallDigitsResource, digit, 12, 17); };
        QCOMPARE(region(face, cells[ClockFace::MinuteTens]), large(0));
        QCOMPARE(region(face, cells[ClockFace::MinuteUnits]), large(2));
        QCOMPARE(region(face, cells[ClockFace::SecondTens]), large(0));
        QCOMPARE(region(face, cells[ClockFace::HourTens]), small(0));
        QCOMPARE(region(face, cells[ClockFace::HourUnits]), small(1));
        QCOMPARE(region(face, cells[ClockFace::WeekdayTens]), small(0));
        QCOMPARE(region(face, cells[ClockFace::WeekdayUnits]), small(6));
        QVERIFY(region(face, cells[ClockFace::MinuteUnits]) != large(8));
    }

    void workerCountsDownOncePerSecond() {
        DisplayRig d(500, 3);
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(startDefault(d.widget), int(ClockDisplay::Started));
        QTRY_COMPARE_WITH_TIMEOUT(d.countdown.load(), 497, 4000);
        // Three ticks: at once, then one a second.
        QVERIFY2(elapsed.elapsed() >= 1900, qPrintable(QString::number(elapsed.elapsed())));

        // A value the bell sets is the starting point of the next ticks.
        d.countdown = 6000;
        QTRY_COMPARE(d.widget.face().digits()[ClockFace::HourUnits], 1);
        QVERIFY(d.countdown.load() < 6000);
    }

    void destructionStopsTheWorkerPromptly() {
        std::atomic<int> countdown{500};
        const FakeClock wednesday({.weekday = 3});
        auto display = std::make_unique<ClockDisplay>(countdown, wednesday);
        QCOMPARE(startDefault(*display), int(ClockDisplay::Started));
        QTRY_VERIFY(countdown.load() < 500);

        QElapsedTimer elapsed;
        elapsed.start();
        display.reset();
        QVERIFY2(elapsed.elapsed() < 300, qPrintable(QString::number(elapsed.elapsed())));

        const int left = countdown.load();
        QTest::qWait(1300);
        QCOMPARE(countdown.load(), left);
    }

    void failedStartPaintsAnEmptyFace() {
        DisplayRig d(500, 3);
        d.widget.resize(151, 72);
        QCOMPARE(
            d.widget.startClock("/nonexistent/a.png", kClockLargeDigitsResource, kClockSmallDigitsResource),
            int(ClockDisplay::BitmapFailed));
        d.widget.show();
        const QImage face = d.widget.grab().toImage();
        QCOMPARE(face.size(), QSize(151, 72));
        QCOMPARE(face.pixelColor(70, 40), face.pixelColor(5, 5));
        QTest::qWait(1100);
        QCOMPARE(d.countdown.load(), 500);
    }
};

QTEST_MAIN(ClockDisplayTest)
#include "ClockDisplayTest.moc"
