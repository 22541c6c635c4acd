// 紧急广播 from the tray asks first, naming the sound (取消 the default); while it sounds the main
// window shows a red banner with the sound, the local time it began and 解除紧急广播 in place of the
// countdown, which comes back once it is cleared, from the banner or the tray (each asks).
#include "bell/window/EmergencyBanner.h"
#include "bell/service/Bell.h"
#include "bell/window/BellTray.h"
#include "bell/window/MainDialog.h"
#include "clockdisplay/window/ClockDisplay.h"
#include "support/ProgramWindow.h"
#include "support/Tones.h"
#include "widgets/Resources.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTime>
#include <QtTest>

#include <string>
#include <vector>

using namespace halvix;
using namespace halvix::test;

class EmergencyBannerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initResources(); }

    void theTrayAsksAndTheBannerStandsForTheCountdown_data() {
        QTest::addColumn<bool>("started"); // the answer to 紧急广播's question
        QTest::addColumn<QString>("clearFrom");
        QTest::addColumn<QString>("clearedBy"); // as the state keeps it
        QTest::newRow("取消: nothing starts") << false << QString() << QString();
        QTest::newRow("确定, cleared from the banner") << true << "banner"
                                                       << "本机窗口";
        QTest::newRow("确定, cleared from the tray") << true << "tray"
                                                     << "本机托盘";
    }
    void theTrayAsksAndTheBannerStandsForTheCountdown() {
        QFETCH(bool, started);
        QFETCH(QString, clearFrom);
        QFETCH(QString, clearedBy);
        Program program;
        program.db.temp().write("voic/警报.wav", "");
        makeTone((program.db.temp().path() / "voic/警报.wav").string(), 0.3);
        auto window = program.open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        BellTray tray;
        window->attachTray(tray);
        Bell& bell = static_cast<StandaloneWindow&>(*window).ownBell();
        auto* banner = child<EmergencyBanner>(*window, "emergencyBanner");
        auto* clock = child<ClockDisplay>(*window, "clockDisplay");
        auto* list = child<QTableView>(*window, "planList");
        const QRect fullList = list->geometry();
        QVERIFY(!banner->isVisible() && clock->isVisible());

        emit tray.emergencyMenu()->aboutToShow();
        program.prompts.confirmAnswers = {started};
        tray.emergencyMenu()->actions().first()->trigger();
        QCOMPARE(program.prompts.questionTexts(),
                 std::vector<std::string>{"确定在所有区域播放紧急广播 “警报.wav”?\n\n"
                                          "它将反复播放, 直到解除紧急广播; 计划的铃声在此期间不响。"});
        QCOMPARE(program.prompts.cancelDefault, std::vector<bool>{true});
        QCOMPARE(bell.emergency().sounding(), started);
        QCOMPARE(banner->isVisible(), started);
        QCOMPARE(clock->isVisible(), !started);
        if (!started) {
            QCOMPARE(list->geometry(), fullList);
            return;
        }

        // Across the window above the list; the time is the local one, to the second.
        QCOMPARE(banner->geometry(), QRect(0, 0, window->width(), EmergencyBanner::kHeight));
        QCOMPARE(list->geometry(), fullList.adjusted(0, EmergencyBanner::kHeight, 0, 0));
        const QRegularExpressionMatch line =
            QRegularExpression(QStringLiteral("^紧急广播中  警报\\.wav  开始于 (\\d\\d:\\d\\d:\\d\\d)$"))
                .match(banner->text());
        QVERIFY2(line.hasMatch(), qPrintable(banner->text()));
        const int sinceStart =
            QTime::fromString(line.captured(1), QStringLiteral("HH:mm:ss")).secsTo(QTime::currentTime());
        QVERIFY2(sinceStart >= 0 && sinceStart < 5, qPrintable(line.captured(1)));
        QCOMPARE(child<QLabel>(*banner, "emergencyLine")->palette().color(QPalette::WindowText),
                 QColor(Qt::white));

        // 解除 asks as the tray's does: not confirmed, nothing changes; confirmed, the countdown is back.
        program.prompts.clear();
        program.prompts.confirmAnswers = {false, true};
        const auto clear = [&] {
            if (clearFrom == QStringLiteral("banner"))
                child<QPushButton>(*banner, "clearEmergencyButton")->click();
            else
                tray.menu()->findChild<QAction*>(QStringLiteral("clearEmergencyAction"))->trigger();
        };
        clear();
        QVERIFY(bell.emergency().sounding() && banner->isVisible() && !clock->isVisible());
        clear();
        QVERIFY(!bell.emergency().sounding());
        QCOMPARE(QString::fromStdString(bell.emergency().state().by), clearedBy);
        QCOMPARE(program.prompts.questions.size(), std::size_t(2));
        QVERIFY(program.prompts.questions[0].text.starts_with("紧急广播中: 警报.wav\n\n解除紧急广播?"));
        QVERIFY(!banner->isVisible() && clock->isVisible());
        QCOMPARE(list->geometry(), fullList);
    }
};

QTEST_MAIN(EmergencyBannerTest)
#include "EmergencyBannerTest.moc"
