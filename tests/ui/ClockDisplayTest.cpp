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

const char* stripResource(DigitStrip strip) {
    switch (strip) {
    case DigitStrip::Large:
        return kClockLargeDigitsResource;
    case DigitStrip::Medium:
        return kClockMediumDigitsResource;
    case DigitStrip::Small:
        break;
    }
    return kClockSmallDigitsResource;
}

QImage stripCell(const FaceCell& cell, int digit) {
    return stripCell(stripResource(cell.strip), digit, cell.width, cell.height);
}

QImage region(const QImage& face, const FaceCell& cell) {
    return rgb(face.copy(cell.x, cell.y, cell.width, cell.height));
}

// The digit a painted cell shows, or -1 when it shows none of them exactly.
int digitIn(const QImage& face, const FaceCell& cell) {
    for (int digit = 0; digit <= 9; ++digit)
        if (region(face, cell) == stripCell(cell, digit))
            return digit;
    return -1;
}

// What a person reads on a painted face: "MM:SS" or "HH:MM:SS", from the face whose every digit
// cell and background shows; "?" when none or both do.
QString readFace(const QImage& face) {
    QStringList readings;
    for (const FaceKind kind : {FaceKind::Minutes, FaceKind::Hours}) {
        const auto& cells = ClockFace::layout(kind);
        QString pairs[3];
        bool whole = true;
        const ClockFace::Cell order[] = {ClockFace::HourTens,   ClockFace::HourUnits,
                                         ClockFace::MinuteTens, ClockFace::MinuteUnits,
                                         ClockFace::SecondTens, ClockFace::SecondUnits};
        for (std::size_t i = 0; i < std::size(order); ++i) {
            const FaceCell& cell = cells[order[i]];
            if (!cell.shown)
                continue;
            const int digit = digitIn(face, cell);
            whole = whole && digit >= 0;
            pairs[i / 2] += QString::number(digit);
        }
        // The colons of the face drawn: its background between the cells.
        const QImage background(kind == FaceKind::Hours ? kClockHoursBackgroundResource
                                                        : kClockBackgroundResource);
        const QRect colon = kind == FaceKind::Hours ? QRect(49, 41, 4, 4) : QRect(59, 41, 4, 4);
        whole = whole && rgb(face.copy(colon)) == rgb(background.copy(colon));
        if (whole)
            readings << (kind == FaceKind::Hours ? pairs[0] + ':' : QString()) + pairs[1] + ':' + pairs[2];
    }
    return readings.size() == 1 ? readings.constFirst() : QStringLiteral("?");
}

// A display over a countdown of its own, on a clock that stands on `weekday`.
struct DisplayRig {
    DisplayRig(int seconds, int weekday) : countdown(seconds), clock({.weekday = weekday}) {}
    std::atomic<int> countdown;
    const FakeClock clock;
    ClockDisplay widget{countdown, clock};
};

// The face painted while it shows `seconds`: grabbed again if a tick came in between.
QImage faceShowing(DisplayRig& d, int seconds, int weekday) {
    const ClockFace::Shown wanted = ClockFace::shownFor(seconds, weekday);
    for (int attempt = 0; attempt < 5; ++attempt) {
        d.countdown = seconds;
        if (!QTest::qWaitFor([&] { return d.widget.face().shown() == wanted; }, 3000))
            continue;
        const QImage face = d.widget.grab().toImage();
        if (d.widget.face().shown() == wanted)
            return face;
    }
    return {};
}

} // namespace

class ClockDisplayTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initResources(); }

    void bitmapsHaveTheirSizesAndTheIdleFacesShowEights() {
        QCOMPARE(QImage(kClockBackgroundResource).size(), QSize(151, 72));
        QCOMPARE(QImage(kClockHoursBackgroundResource).size(), QSize(151, 72));
        QCOMPARE(QImage(kClockLargeDigitsResource).size(), QSize(240, 34));
        QCOMPARE(QImage(kClockMediumDigitsResource).size(), QSize(180, 34));
        QCOMPARE(QImage(kClockSmallDigitsResource).size(), QSize(120, 17));
        QCOMPARE(QImage(":/icons/bell.png").size(), QSize(64, 64));

        for (const FaceKind kind : {FaceKind::Minutes, FaceKind::Hours}) {
            const QImage background(kind == FaceKind::Hours ? kClockHoursBackgroundResource
                                                            : kClockBackgroundResource);
            for (const FaceCell& cell : ClockFace::layout(kind)) {
                if (cell.y == 5)
                    continue; // the weekday's place is blank until the first tick
                QCOMPARE(region(background, cell), stripCell(cell, 8));
            }
        }
    }

    void startClockResults() {
        DisplayRig d(500, 1);
        d.widget.resize(40, 30);

        ClockBitmaps missingSmall;
        missingSmall.smallDigits = ":/clock/missing.png";
        QCOMPARE(d.widget.startClock(missingSmall), int(ClockDisplay::BitmapFailed));
        ClockBitmaps missingHours;
        missingHours.hoursBackground = "/nonexistent/background.png";
        QCOMPARE(d.widget.startClock(missingHours), int(ClockDisplay::BitmapFailed));
        ClockBitmaps missingMedium;
        missingMedium.mediumDigits = "/nonexistent/medium.png";
        QCOMPARE(d.widget.startClock(missingMedium), int(ClockDisplay::BitmapFailed));
        QVERIFY(!d.widget.isRunning());
        QCOMPARE(d.widget.size(), QSize(40, 30));

        QCOMPARE(d.widget.startClock(), int(ClockDisplay::Started));
        QVERIFY(d.widget.isRunning());
        QCOMPARE(d.widget.size(), QSize(151, 72));

        // Already running: the same answer, and the bitmaps it was started with stay.
        QCOMPARE(d.widget.startClock({"/nonexistent/a.png", "/nonexistent/b.png", "/nonexistent/c.png",
                                      "/nonexistent/d.png", "/nonexistent/e.png"}),
                 int(ClockDisplay::Started));
        QVERIFY(d.widget.isRunning());
        QVERIFY(!d.widget.grab().isNull());
    }

    void paintedFaceReadsAsTheCountdown() {
        // Seconds left, what a person reads on the face, and what its tooltip says.
        const struct {
            int seconds;
            const char* reads;
            const char* words;
        } cases[] = {
            {0, "00:00", "0 分 0 秒"},
            {59, "00:59", "0 分 59 秒"},
            {500, "08:20", "8 分 20 秒"},
            {3599, "59:59", "59 分 59 秒"},
            {3600, "01:00:00", "1 小时 0 分 0 秒"},
            {5393, "01:29:53", "1 小时 29 分 53 秒"}, // 05:00:07 before a bell at 06:30
            {36000, "10:00:00", "10 小时 0 分 0 秒"},
            {359999, "99:59:59", "99 小时 59 分 59 秒"},
        };
        DisplayRig d(0, 6);
        QCOMPARE(d.widget.startClock(), int(ClockDisplay::Started));
        for (const auto& c : cases) {
            const QImage face = faceShowing(d, c.seconds, 6);
            QVERIFY2(!face.isNull(), qPrintable(QString::number(c.seconds)));
            QCOMPARE(face.size(), QSize(151, 72));
            QCOMPARE(readFace(face), QString(c.reads));
            QCOMPARE(QString::fromStdString(ClockFace::countdownText(ClockFace::shownFor(c.seconds, 6))),
                     QString(c.words));
            // The weekday at the top left, on either face.
            const auto& cells = ClockFace::layout(c.seconds >= 3600 ? FaceKind::Hours : FaceKind::Minutes);
            QCOMPARE(digitIn(face, cells[ClockFace::WeekdayTens]), 0);
            QCOMPARE(digitIn(face, cells[ClockFace::WeekdayUnits]), 6);
        }
    }

    void workerCountsDownOncePerSecond() {
        DisplayRig d(500, 3);
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(d.widget.startClock(), int(ClockDisplay::Started));
        QTRY_COMPARE_WITH_TIMEOUT(d.countdown.load(), 497, 4000);
        // Three ticks: at once, then one a second.
        QVERIFY2(elapsed.elapsed() >= 1900, qPrintable(QString::number(elapsed.elapsed())));

        // A value the bell sets is the starting point of the next ticks.
        d.countdown = 6000;
        QTRY_COMPARE(d.widget.face().shown().digits[ClockFace::HourUnits], 1);
        QCOMPARE(d.widget.face().shown().kind, FaceKind::Hours);
        QVERIFY(d.countdown.load() < 6000);
    }

    void destructionStopsTheWorkerPromptly() {
        std::atomic<int> countdown{500};
        const FakeClock wednesday({.weekday = 3});
        auto display = std::make_unique<ClockDisplay>(countdown, wednesday);
        QCOMPARE(display->startClock(), int(ClockDisplay::Started));
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
        ClockBitmaps missing;
        missing.minutesBackground = "/nonexistent/a.png";
        QCOMPARE(d.widget.startClock(missing), int(ClockDisplay::BitmapFailed));
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
