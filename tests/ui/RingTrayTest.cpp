// The tray's actions and the ring log window over a real bell: the menu's order, a missing sound
// flagged at start-up, 今日静音 silencing the next entry through the calendar (and 恢复响铃 not
// ringing it after all), the log rows shown for a date and exported, and the one row every entry
// gets however often the bell starts in a day; 紧急广播 from the tray holding the plan silent, kept
// across a start, and 解除紧急广播 only once confirmed.
#include "audio/PulsePlayer.h"
#include "bell/BellEngine.h"
#include "bell/service/Bell.h"
#include "bell/window/BellTray.h"
#include "bell/window/MainDialog.h"
#include "calendar/CalendarStore.h"
#include "calendar/TodayMute.h"
#include "editing/TextCodec.h"
#include "ringlog/RingLog.h"
#include "ringlog/window/RingLogDialog.h"
#include "store/TableCatalogue.h"
#include "support/FakeClock.h"
#include "support/RingWords.h"
#include "support/ScheduleFixture.h"
#include "support/ScriptedPrompts.h"
#include "support/StandaloneWindow.h"
#include "support/Tones.h"
#include "support/Widgets.h"
#include "widgets/Resources.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QtTest>

#include <memory>

using namespace halvix;
using halvix::test::FakeClock;
using halvix::test::ScheduleFixture;
using halvix::test::ScriptedPrompts;

namespace {

// Monday 4 March 2024: 08:00 rings 上课.mp3 (there), 09:00 缺.mp3 (not there).
struct Program {
    Program() {
        db.writeWeekFile("0");
        db.insertPlan("zccjtime", {{"1", "星期一", "08:00", "上课", "上课.mp3", "待完", ""},
                                   {"2", "星期一", "09:00", "缺", "缺.mp3", "待完", ""}});
        // Sounds the sound server really plays: only a sound heard is 已响铃.
        for (const char* sound : {"voic/上课.mp3", "voic/早操/1.mp3"}) {
            db.temp().write(sound, "");
            test::makeTone((db.temp().path() / sound).string(), 0.3);
        }
    }
    ScheduleFixture db;
    FakeClock clock{LocalTime{2024, 3, 4, 7, 0, 0, 1}};
    ScriptedPrompts prompts;
};

QStringList menuTexts(const QMenu& menu) {
    QStringList texts;
    for (const QAction* action : menu.actions())
        if (action->isVisible())
            texts << (action->isSeparator() ? QStringLiteral("|") : action->text());
    return texts;
}

using LogLines = std::vector<std::pair<std::string, std::string>>; // plan time and result

LogLines planTimesAndResults(const std::vector<RingRow>& rows) {
    LogLines lines;
    for (const RingRow& row : rows)
        lines.emplace_back(row.planTime, row.result);
    return lines;
}

std::vector<RingRow> todaysRows(Bell& bell) {
    bell.recorder().log().flush();
    RingLog log(bell.recorder().file());
    return log.rowsOn("2024-03-04").value_or(std::vector<RingRow>{});
}

} // namespace

class RingTrayTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initResources(); }

    void menuOrderMissingSoundMuteAndLog() {
        Program program;
        test::StandaloneWindow window(program.db.folder(), program.clock, program.prompts);
        BellTray tray;
        window.attachTray(tray);
        Bell& bell = window.ownBell();

        QCOMPARE(menuTexts(*tray.menu()), (QStringList{"显示窗口", "立即播放", "停止播放", "今日静音",
                                                       "响铃记录", "紧急广播", "解除紧急广播", "|", "关闭"}));
        // 显示窗口, the default item (as a double click), brings the hidden window back to the front.
        QCOMPARE(tray.menu()->defaultAction(), tray.menu()->actions().first());
        window.hide();
        tray.menu()->actions().first()->trigger();
        QVERIFY(window.isVisible());
        emit tray.playMenu()->aboutToShow();
        QCOMPARE(menuTexts(*tray.playMenu()), (QStringList{"上课.mp3", "早操"}));

        // The check runs off the window thread; its result marks the row and the tray.
        QTRY_COMPARE(tray.toolTip(), QStringLiteral("1 个铃声有问题"));

        // On the campus central only: 校园 in the menu and the window, and its nodes in the tip.
        int campusOpened = 0;
        window.offerCampusWindow([&campusOpened] { ++campusOpened; });
        QCOMPARE(menuTexts(*tray.menu()),
                 (QStringList{"显示窗口", "立即播放", "停止播放", "今日静音", "响铃记录", "校园", "紧急广播",
                              "解除紧急广播", "|", "关闭"}));
        tray.menu()->findChild<QAction*>(QStringLiteral("campusAction"))->trigger();
        test::child<QPushButton>(window, QStringLiteral("campusButton"))->click();
        QCOMPARE(campusOpened, 2);
        tray.setCampusProblems(2);
        QCOMPARE(tray.toolTip(), QStringLiteral("1 个铃声有问题\n2 个节点有问题"));
        tray.setCampusProblems(0);
        QCOMPARE(tray.toolTip(), QStringLiteral("1 个铃声有问题"));
        auto* list = window.findChild<QTableView*>(QStringLiteral("planList"));
        QVERIFY(list);
        QCOMPARE(list->model()->index(0, 2).data(Qt::ToolTipRole), QVariant());
        const QString tip = list->model()->index(1, 2).data(Qt::ToolTipRole).toString();
        QVERIFY2(tip.contains(QStringLiteral("缺少声音")) && tip.contains(QStringLiteral("缺.mp3")),
                 qPrintable(tip));
        QCOMPARE(list->model()->index(1, 0).data(Qt::ForegroundRole).value<QBrush>().color(),
                 QColor(Qt::red));
        // The selection paints over the red: the row's warning sign stays, and only on that row.
        QVERIFY(!list->model()->index(1, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(list->model()->index(0, 0).data(Qt::DecorationRole).isNull());
        QVERIFY(list->model()->index(1, 2).data(Qt::DecorationRole).isNull());

        // 08:00 rings; 今日静音 then keeps 09:00 silent, logged at its time; 恢复响铃 undoes it.
        // The six-tick wait after the load ends before 08:00.
        program.clock.tickThrough(window, test::dateTime(2024, 3, 4, 7, 59, 50),
                                  test::dateTime(2024, 3, 4, 8, 0, 0));
        QCOMPARE(bell.plan().toTable().cell(0, StatusColumn), std::string("完成"));
        // Rung when the sound server says it began, within the entry's second; then heard to its end.
        QTRY_VERIFY(!bell.engine().awaitingOutcome());
        QTRY_VERIFY(!bell.sounding());

        tray.menu()->findChild<QAction*>(QStringLiteral("muteAction"))->trigger();
        QVERIFY(mutedByHand(bell.decision()));
        QCOMPARE(tray.menu()->findChild<QAction*>(QStringLiteral("muteAction"))->text(),
                 QStringLiteral("恢复响铃"));
        SilentSink quiet;
        const auto calendar = loadCalendar(program.db.folder(), quiet);
        QCOMPARE(calendar.size(), std::size_t(1));
        QCOMPARE(calendar[0].note, std::string("今日静音"));

        program.clock.time = {2024, 3, 4, 9, 0, 0, 1};
        for (int i = 0; i < 8; ++i) {
            window.onTick(program.clock.time);
            ++program.clock.time.second;
        }
        QCOMPARE(bell.plan().toTable().rowCount(), 0); // a silenced date's plan rings nothing
        QVERIFY(bell.todayText().startsWith(QStringLiteral("今日: 停铃 (今日静音)")));
        // Nothing to ring: no countdown, and the window says why.
        QVERIFY(window.nextEntryCountdown() <= 0);
        const QString status = window.findChild<QLabel*>(QStringLiteral("todayLine"))->text();
        QVERIFY2(status.endsWith(QStringLiteral("\n今日停铃, 不响铃")), qPrintable(status));

        // 停止播放 with nothing playing stops nothing and logs nothing.
        tray.menu()->findChild<QAction*>(QStringLiteral("stopAction"))->trigger();
        // 恢复响铃 within the muted entry's minute: it was dealt with, it does not ring after all.
        tray.menu()->findChild<QAction*>(QStringLiteral("muteAction"))->trigger();
        QVERIFY(!mutedByHand(bell.decision()));
        QVERIFY(loadCalendar(program.db.folder(), quiet).empty());
        program.clock.tickThrough(window, program.clock.time, test::dateTime(2024, 3, 4, 9, 0, 40));
        QCOMPARE(bell.plan().toTable().cell(1, StatusColumn), std::string("完成"));

        const auto rows = todaysRows(bell);
        QCOMPARE(planTimesAndResults(rows), (LogLines{{"08:00", test::word(RingResult::Rang)},
                                                      {"09:00", test::word(RingResult::MutedToday)}}));
        QCOMPARE(rows[0].planTime, std::string("08:00"));
        QVERIFY2(rows[0].result == test::word(RingResult::Rang),
                 (rows[0].result + " " + rows[0].note).c_str());
        QVERIFY2(rows[0].delayMs < 1000, std::to_string(rows[0].delayMs).c_str()); // rang at its second
        QVERIFY(rows[0].moment.starts_with("2024-03-04 08:00:00."));
        QCOMPARE(rows[1].planTime, std::string("09:00"));
        QCOMPARE(rows[1].result, std::string(test::word(RingResult::MutedToday)));
        QCOMPARE(rows[1].note, std::string("今日静音"));

        // Two rows a building sent: the window shows them among this machine's, filtered by node.
        for (const char* node : {"syl", "jxl"})
            bell.recorder().log().appendFromNode({"2024-03-04 08:00:00.020", "08:00", "上课", "上课.mp3",
                                                  test::word(RingResult::Rang), 20, "", node});

        // The window shows today's rows, another date's none, and exports what it shows.
        window.onShowRingLog();
        RingLogDialog* dialog = window.ringLogDialog();
        QVERIFY(dialog && dialog->isVisible());
        auto* ringList = dialog->findChild<QTableView*>(QStringLiteral("ringList"));
        // Read on the log's thread: the rows come after the window is shown.
        QTRY_COMPARE(ringList->model()->rowCount(), 4);
        QCOMPARE(ringList->model()->index(1, 4).data().toString(), QStringLiteral("今日静音"));
        auto* node = test::child<QComboBox>(*dialog, QStringLiteral("nodeFilter"));
        const struct {
            QString choice;
            std::vector<std::string> nodes; // of the rows shown
        } filters[] = {{QStringLiteral("本机"), {"", ""}},
                       {QStringLiteral("jxl"), {"jxl"}},
                       {QStringLiteral("syl"), {"syl"}},
                       {QStringLiteral("全部"), {"", "", "syl", "jxl"}}};
        for (const auto& filter : filters) {
            const int index = node->findText(filter.choice);
            QVERIFY2(index >= 0, qPrintable(filter.choice));
            node->setCurrentIndex(index);
            std::vector<std::string> shown;
            for (const RingRow& row : dialog->rows())
                shown.push_back(row.node);
            QCOMPARE(shown, filter.nodes);
            QCOMPARE(ringList->model()->rowCount(), int(filter.nodes.size()));
        }
        // A building's row, each cell under its title.
        node->setCurrentIndex(node->findText(QStringLiteral("jxl")));
        const QStringList titles{"时刻", "计划时间", "事件", "声音", "结果", "延迟毫秒", "备注", "节点"};
        const QStringList cells{
            "2024-03-04 08:00:00.020", "08:00", "上课", "上课.mp3", "已响铃", "20", "", "jxl"};
        QCOMPARE(ringList->model()->columnCount(), int(titles.size()));
        for (int column = 0; column < titles.size(); ++column) {
            QCOMPARE(ringList->model()->headerData(column, Qt::Horizontal).toString(), titles[column]);
            QCOMPARE(ringList->model()->index(0, column).data().toString(), cells[column]);
        }
        node->setCurrentIndex(node->findText(QStringLiteral("本机")));
        // Every column whole, 备注 to the right edge; the date field holds its whole date.
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        const QString fit = test::columnsDoNotFit(*ringList, {0, 1, 2, 3, 4, 5});
        QVERIFY2(fit.isEmpty(), qPrintable(fit));
        auto* date = dialog->findChild<QDateEdit*>(QStringLiteral("dateEdit"));
        QVERIFY(date->width() > date->fontMetrics().horizontalAdvance(date->text()) + 20);
        if (const char* shot = std::getenv("HALVIX_SHOT_DIR")) {
            dialog->grab().save(QString::fromLocal8Bit(shot) + QStringLiteral("/ringlog-dialog.png"));
            tray.menu()->adjustSize();
            tray.menu()->grab().save(QString::fromLocal8Bit(shot) + QStringLiteral("/tray-menu.png"));
        }
        const auto exported = program.db.temp().path() / "导出.csv";
        program.prompts.saveAnswers.push_back(QString::fromStdString(exported.string()));
        dialog->onExport();
        const std::string csv = gb18030ToUtf8(test::readFile(exported));
        QVERIFY(csv.starts_with("时刻,计划时间,事件,声音,结果,延迟毫秒,备注,节点,\r\n"));
        QCOMPARE(std::count(csv.begin(), csv.end(), '\n'), 3L); // this machine's rows, as shown
        dialog->findChild<QDateEdit*>(QStringLiteral("dateEdit"))->setDate(QDate(2024, 3, 3));
        QTRY_COMPARE(ringList->model()->rowCount(), 0);
    }

    // Every entry of the day gets one row: what passed while no bell ran is logged 未运行 when the
    // bell starts, once, however often it starts that day, and what a run before rang is not rung
    // again. Each case starts the bell and lets it run, then starts it again (at 09:30, after both
    // entries, unless the case says otherwise) and lets it run for 20 s.
    void everyEntryLoggedOnceAcrossStarts() {
        struct Case {
            const char* name;
            LocalTime start;
            LocalTime until;
            const char* calendar; // a calendar entry for the date, or none
            LogLines rows;
            LocalTime restart = test::dateTime(2024, 3, 4, 9, 30, 0);
        };
        const std::vector<Case> cases = {
            {"started half an hour late",
             test::dateTime(2024, 3, 4, 8, 30, 0),
             test::dateTime(2024, 3, 4, 8, 30, 10),
             nullptr,
             {{"08:00", test::word(RingResult::NotRunning)}, {"09:00", test::word(RingResult::NotRunning)}}},
            {"started 55 s late: passed over while running",
             test::dateTime(2024, 3, 4, 8, 0, 55),
             test::dateTime(2024, 3, 4, 8, 1, 10),
             nullptr,
             {{"08:00", test::word(RingResult::Overdue)}, {"09:00", test::word(RingResult::NotRunning)}}},
            {"rang, then restarted",
             test::dateTime(2024, 3, 4, 7, 59, 50),
             test::dateTime(2024, 3, 4, 8, 0, 10),
             nullptr,
             {{"08:00", test::word(RingResult::Rang)}, {"09:00", test::word(RingResult::NotRunning)}}},
            {"rang, then restarted within its minute",
             test::dateTime(2024, 3, 4, 7, 59, 50),
             test::dateTime(2024, 3, 4, 8, 0, 10),
             nullptr,
             {{"08:00", test::word(RingResult::Rang)}},
             test::dateTime(2024, 3, 4, 8, 0, 15)},
            {"a silenced date",
             test::dateTime(2024, 3, 4, 8, 30, 0),
             test::dateTime(2024, 3, 4, 9, 0, 5),
             "('2024-03-04', '2024-03-04', '停铃', '', '运动会')",
             {{"08:00", test::word(RingResult::NotRunning)}, {"09:00", test::word(RingResult::SilentDay)}}},
        };
        for (const Case& c : cases) {
            Program program;
            if (c.calendar)
                program.db.run(
                    "create table calendar (开始日期 TEXT, 结束日期 TEXT, 类型 TEXT, 参数 TEXT, 备注 TEXT);"
                    "insert into calendar values " +
                    std::string(c.calendar) + ";");
            program.clock.millisecond = 999;
            std::vector<RingRow> rows;
            const LocalTime restartUntil = test::localTimeAt(test::wallSecondOf(c.restart) + 20);
            for (const auto& [from, to] : {std::pair(c.start, c.until), std::pair(c.restart, restartUntil)}) {
                program.clock.time = from;
                Bell bell(program.db.folder(), program.clock, pulsePlayers());
                bell.reloadPlan();
                program.clock.tickThrough(bell, from, to);
                QTRY_VERIFY(!bell.engine().awaitingOutcome());
                rows = todaysRows(bell);
            }
            QVERIFY2(planTimesAndResults(rows) == c.rows, c.name);
            // Stamped from one reading of the clock, millisecond and all.
            if (c.rows.front().second == test::word(RingResult::NotRunning))
                QCOMPARE(rows.front().moment, std::string("2024-03-04 08:30:00.999"));
        }
    }

    // 紧急广播 ▸ a sound file: the plan is held (08:00 logged 紧急广播中), 立即播放 refused, the
    // status line and the tip say it, a bell started on the folder meanwhile resumes it; 解除 asks
    // first, and then 09:00 rings.
    void emergencyFromTheTrayHoldsThePlanUntilCleared() {
        Program program;
        auto window =
            std::make_unique<test::StandaloneWindow>(program.db.folder(), program.clock, program.prompts);
        BellTray tray;
        window->attachTray(tray);
        Bell& bell = window->ownBell();
        auto* clear = tray.menu()->findChild<QAction*>(QStringLiteral("clearEmergencyAction"));
        QVERIFY(!clear->isEnabled());

        emit tray.emergencyMenu()->aboutToShow();
        QCOMPARE(menuTexts(*tray.emergencyMenu()), QStringList{"上课.mp3"}); // a folder cannot loop
        program.prompts.confirmAnswers = {true};
        tray.emergencyMenu()->actions().first()->trigger();
        QVERIFY(bell.emergency().sounding());
        program.prompts.clear();
        QVERIFY(clear->isEnabled());
        QVERIFY2(tray.toolTip().contains(QStringLiteral("紧急广播中: 上课.mp3")), qPrintable(tray.toolTip()));
        const auto* status = window->findChild<QLabel*>(QStringLiteral("statusLine"));
        QVERIFY2(status->text().startsWith(QStringLiteral("紧急广播中: 上课.mp3")),
                 qPrintable(status->text()));
        QVERIFY(!bell.playNow("上课.mp3"));
        QVERIFY(bell.playRefusal().contains(QStringLiteral("不能立即播放")));

        program.clock.tickThrough(*window, test::dateTime(2024, 3, 4, 7, 59, 50),
                                  test::dateTime(2024, 3, 4, 8, 0, 5));
        QCOMPARE(bell.plan().toTable().cell(0, StatusColumn), std::string("完成"));

        // A start on the folder now (after a power cut) obeys the stored state at once.
        window.reset();
        window =
            std::make_unique<test::StandaloneWindow>(program.db.folder(), program.clock, program.prompts);
        window->attachTray(tray);
        Bell& again = window->ownBell();
        QVERIFY(again.emergency().sounding());
        window->onTick(test::dateTime(2024, 3, 4, 8, 0, 6));
        QVERIFY(window->findChild<QLabel*>(QStringLiteral("statusLine"))
                    ->text()
                    .startsWith(QStringLiteral("紧急广播中: 上课.mp3")));

        program.prompts.confirmAnswers = {false, true};
        clear->trigger();
        QVERIFY(again.emergency().sounding()); // not confirmed: nothing changes
        clear->trigger();
        QVERIFY(!again.emergency().sounding());
        QCOMPARE(program.prompts.questions.size(), std::size_t(2));
        QVERIFY(!clear->isEnabled());
        QVERIFY(!tray.toolTip().contains(QStringLiteral("紧急广播")));
        program.clock.tickThrough(*window, test::dateTime(2024, 3, 4, 8, 59, 50),
                                  test::dateTime(2024, 3, 4, 9, 0, 5));

        std::vector<std::pair<std::string, std::string>> events;
        for (const RingRow& row : todaysRows(again))
            events.emplace_back(row.planTime.empty() ? row.event : row.planTime, row.result);
        QCOMPARE(events, (std::vector<std::pair<std::string, std::string>>{
                             {"紧急广播", test::word(RingResult::Emergency)},
                             {"08:00", test::word(RingResult::Emergency)},
                             {"紧急广播", test::word(RingResult::Emergency)},
                             {"解除紧急广播", test::word(RingResult::Stopped)},
                             {"09:00", test::word(RingResult::Missing)}}));
    }
};

QTEST_MAIN(RingTrayTest)
#include "RingTrayTest.moc"
