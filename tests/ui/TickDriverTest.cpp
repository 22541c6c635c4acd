#include "bell/service/TickDriver.h"
#include "time/SystemClock.h"

#include <QtTest>

#include <chrono>
#include <thread>
#include <vector>

using namespace halvix;
using namespace std::chrono;

namespace {

// The wall clock as the program sees it: the real one plus an offset a test can step.
struct SteppableClock {
    seconds offset{0};
    system_clock::time_point now() const { return system_clock::now() + offset; }
    long long second() const { return floor<seconds>(now()).time_since_epoch().count(); }
};

struct Tick {
    long long second; // the wall clock's second (stepped) when the tick arrived
    LocalTime reported;
};

} // namespace

class TickDriverTest : public QObject {
    Q_OBJECT

private slots:
    void ticksOncePerSecondWithTheTimeItIs() {
        SteppableClock clock;
        TickDriver driver(nullptr, [&] { return clock.now(); });
        std::vector<Tick> ticks;
        connect(&driver, &TickDriver::tick, this, [&](const LocalTime& now) {
            ticks.push_back({clock.second(), now});
        });
        driver.start();
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 4, 6000);

        for (std::size_t i = 0; i < ticks.size(); ++i) {
            const LocalTime expected = SystemClock::localTimeOf(static_cast<std::time_t>(ticks[i].second));
            QCOMPARE(ticks[i].reported.secondOfDay(), expected.secondOfDay());
            QCOMPARE(ticks[i].reported.weekday, expected.weekday);
            if (i > 0)
                QCOMPARE(ticks[i].second, ticks[i - 1].second + 1);
        }
        QCOMPARE(driver.missedSeconds(), 0);
    }

    void aHeldUpThreadSkipsToTheTimeItIsAndNeverRepeats() {
        SteppableClock clock;
        TickDriver driver(nullptr, [&] { return clock.now(); });
        std::vector<long long> handled;
        connect(&driver, &TickDriver::tick, this, [&](const LocalTime&) {
            handled.push_back(clock.second());
            if (handled.size() == 2)
                std::this_thread::sleep_for(milliseconds(2500)); // the window thread held up
        });
        driver.start();
        QTRY_VERIFY_WITH_TIMEOUT(handled.size() >= 4, 8000);

        QVERIFY(handled[2] - handled[1] >= 2);
        for (std::size_t i = 1; i < handled.size(); ++i)
            QVERIFY(handled[i] > handled[i - 1]);
        QCOMPARE(driver.missedSeconds(), handled[2] - handled[1] - 1);
    }

    void aClockSetBackALittleIsWaitedOutAndFarIsFollowed() {
        SteppableClock clock;
        TickDriver driver(nullptr, [&] { return clock.now(); });
        std::vector<long long> handled;
        connect(&driver, &TickDriver::tick, this,
                [&](const LocalTime&) { handled.push_back(clock.second()); });
        driver.start();
        QTRY_VERIFY_WITH_TIMEOUT(!handled.empty(), 3000);

        // Three seconds back: the seconds already handled are not handled again.
        const long long last = handled.back();
        clock.offset -= seconds(3);
        QTest::qWait(2500);
        QTRY_VERIFY_WITH_TIMEOUT(handled.size() >= 2 && handled.back() > last, 6000);
        for (std::size_t i = 1; i < handled.size(); ++i)
            QVERIFY(handled[i] > handled[i - 1]);

        // Two hours back (the clock was wrong and has been corrected): ticks follow at once.
        const std::size_t before = handled.size();
        clock.offset -= hours(2);
        QTRY_VERIFY_WITH_TIMEOUT(handled.size() > before, 2500);
        QVERIFY(handled[before] < handled[before - 1] - 7000);
        QTRY_VERIFY_WITH_TIMEOUT(handled.size() > before + 1, 2500);
        QCOMPARE(handled[before + 1], handled[before] + 1);
    }
};

QTEST_MAIN(TickDriverTest)
#include "TickDriverTest.moc"
