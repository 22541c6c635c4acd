#include "bell/MainDialog.h"
#include "bell/BellTray.h"
#include "bell/BellEngine.h"
#include "clockdisplay/ClockDisplay.h"
#include "exam/SettingsDialog.h"
#include "support/FakeClock.h"
#include "support/ScheduleFixture.h"
#include "support/ScreenReader.h"
#include "support/ScriptedPrompts.h"
#include "support/StandaloneWindow.h"
#include "clockdisplay/ClockDisplay.h"
#include "widgets/Resources.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QtTest>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace halvix;
using halvix::test::FakeClock;
using halvix::test::ScheduleFixture;
using halvix::test::ScriptedPrompts;

namespace {

// Monday 4 March 2024 at the given time.
LocalTime monday(int hour, int minute, int second) {
    return {2024, 3, 4, hour, minute, second, 1};
}

// One row per entry: time, event, sound.
using Entries = std::vector<std::vector<std::string>>;

void insertEntries(const ScheduleFixture& db, const std::string& table, const Entries& entries) {
    std::vector<std::vector<std::string>> rows;
    int number = 90; // stored numbers are replaced by 1, 2, 3, ... when the plan loads
    for (const auto& e : entries)
        rows.push_back({std::to_string(number--), "星期一", e[0], e[1], e[2], "待完", ""});
    db.insertPlan(table, rows);
}

std::string firstValue(const ScheduleFixture& db, const std::string& table) {
    const auto rows = db.rows("select * from " + table);
    return rows.size() == 1 ? rows[0][0] : "rows: " + std::to_string(rows.size());
}

std::vector<std::string> column(const TextTable& plan, int c) {
    std::vector<std::string> out;
    for (int r = 0; r < plan.rowCount(); ++r)
        out.push_back(plan.cell(r, c));
    return out;
}

template <typename T> T* child(QObject& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}

// A program folder whose four daily and exam tables each hold one entry named after the table.
struct Program {
    Program() {
        db.writeWeekFile("0"); // no school-week day: plain weekdays use the 正常 tables
        insertEntries(db, "zccjtime", {{"08:00", "春季正常", "上课.mp3"}});
        insertEntries(db, "zcqjtime", {{"08:00", "秋季正常", "上课.mp3"}});
        insertEntries(db, "kscjtime", {{"08:00", "春季考试", "上课.mp3"}});
        insertEntries(db, "ksqjtime", {{"08:00", "秋季考试", "上课.mp3"}});
    }
    std::unique_ptr<MainDialog> open() {
        return std::make_unique<test::StandaloneWindow>(db.folder(), clock, prompts);
    }

    ScheduleFixture db;
    FakeClock clock{monday(7, 0, 0)};
    ScriptedPrompts prompts;
};

} // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initResources(); }

    void startUpReadsSeasonAndDayTypeChecksTheRadiosAndLoadsThatPlan_data() {
        QTest::addColumn<QString>("dayType");
        QTest::addColumn<QString>("season");
        QTest::addColumn<QString>("checked"); // daily, exam, spring, autumn
        QTest::addColumn<QString>("event");
        QTest::newRow("daily spring") << "1"
                                      << "1"
                                      << "1010"
                                      << "春季正常";
        QTest::newRow("daily autumn") << "1"
                                      << "2"
                                      << "1001"
                                      << "秋季正常";
        QTest::newRow("exam spring") << "2"
                                     << "1"
                                     << "0110"
                                     << "春季考试";
        QTest::newRow("exam autumn") << "2"
                                     << "2"
                                     << "0101"
                                     << "秋季考试";
    }
    void startUpReadsSeasonAndDayTypeChecksTheRadiosAndLoadsThatPlan() {
        QFETCH(QString, dayType);
        QFETCH(QString, season);
        QFETCH(QString, checked);
        QFETCH(QString, event);
        Program program;
        // Two stored rows: reading the table leaves exactly one.
        program.db.run("delete from lxtime; insert into lxtime values ('" + dayType.toStdString() +
                       "'), ('9'); delete from jjtime; insert into jjtime values ('" + season.toStdString() +
                       "');");
        auto window = program.open();

        QCOMPARE(window->dayType(), dayType.toInt());
        QCOMPARE(window->season(), season.toInt());
        const char* radios[] = {"dailyButton", "examButton", "springButton", "autumnButton"};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(child<QRadioButton>(*window, radios[i])->isChecked(), checked[i] == QLatin1Char('1'));
        QCOMPARE(column(window->plan(), 3), std::vector<std::string>{event.toStdString()});
        QCOMPARE(firstValue(program.db, "lxtime"), dayType.toStdString());
        QVERIFY(program.prompts.messages.empty());
    }

    void theWindowIsTheTemplatesWindow() {
        Program program;
        auto window = program.open();
        QCOMPARE(window->windowTitle(), QStringLiteral("Halvix  校园广播系统   "));
        QCOMPARE(window->windowOpacity(), 238 / 255.0);
        QCOMPARE(child<QTableView>(*window, "planList")->geometry(), QRect(0, 0, 624, 440));
        auto* clock = child<ClockDisplay>(*window, "clockDisplay");
        QCOMPARE(clock->geometry(), QRect(623, 0, 151, 72)); // sized to its background when started
        QVERIFY(clock->isRunning());
        QVERIFY(child<QPushButton>(*window, "settingsButton")->isFlat());
        QCOMPARE(child<QPushButton>(*window, "settingsButton")->text(), QStringLiteral("设置"));
        // The armed entry's countdown replaces the start value 500 (the clock's thread may have
        // counted it down a little since).
        QVERIFY(window->nextEntryCountdown() <= 3600 && window->nextEntryCountdown() > 3590);
    }

    void radioButtonsWriteTheirTableAndReload_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("checked");
        QTest::addColumn<QString>("event");
        QTest::addColumn<bool>("screenReader"); // its toggle action rather than a click
        QTest::newRow("考试") << "examButton"
                              << "lxtime"
                              << "2"
                              << "0110"
                              << "春季考试" << false;
        QTest::newRow("秋季") << "autumnButton"
                              << "jjtime"
                              << "2"
                              << "1001"
                              << "秋季正常" << false;
        // Clicking the button that is already checked writes and reloads all the same.
        QTest::newRow("日常 again") << "dailyButton"
                                    << "lxtime"
                                    << "1"
                                    << "1010"
                                    << "春季正常" << false;
        QTest::newRow("春季 again") << "springButton"
                                    << "jjtime"
                                    << "1"
                                    << "1010"
                                    << "春季正常" << false;
        // A screen reader's toggle does what a click does.
        QTest::newRow("考试 by a screen reader") << "examButton"
                                                 << "lxtime"
                                                 << "2"
                                                 << "0110"
                                                 << "春季考试" << true;
        QTest::newRow("秋季 by a screen reader") << "autumnButton"
                                                 << "jjtime"
                                                 << "2"
                                                 << "1001"
                                                 << "秋季正常" << true;
    }
    void radioButtonsWriteTheirTableAndReload() {
        QFETCH(QString, button);
        QFETCH(QString, table);
        QFETCH(QString, stored);
        QFETCH(QString, checked);
        QFETCH(QString, event);
        QFETCH(bool, screenReader);
        Program program;
        insertEntries(program.db, "zccjtime", {{"09:00", "第二节", "上课.mp3"}});
        auto window = program.open();
        program.prompts.confirmAnswers = {true};
        window->onPlanDoubleClick(0); // a reload brings deleted rows back
        program.db.run("update " + table.toStdString() + " set " + (table == "lxtime" ? "类型" : "季节") +
                       " = '7'");

        const char* radios[] = {"dailyButton", "examButton", "springButton", "autumnButton"};
        for (const char* radio : radios)
            QCOMPARE(test::accessibleRole(child<QRadioButton>(*window, radio)), QAccessible::RadioButton);
        auto* pressed = child<QRadioButton>(*window, button.toLatin1());
        if (screenReader)
            QVERIFY(test::doFirstAction(pressed));
        else
            QTest::mouseClick(pressed, Qt::LeftButton);

        QCOMPARE(firstValue(program.db, table.toStdString()), stored.toStdString());
        for (int i = 0; i < 4; ++i)
            QCOMPARE(child<QRadioButton>(*window, radios[i])->isChecked(), checked[i] == QLatin1Char('1'));
        QCOMPARE(window->plan().cell(0, 3), event.toStdString());
        QCOMPARE(window->plan().cell(0, 5), std::string("待完"));
        QCOMPARE(child<QTableView>(*window, "planList")->model()->rowCount(), window->plan().rowCount());
        QCOMPARE(child<QTableView>(*window, "planList")->columnWidth(4), 220);
    }

    void deletePromptTextAndAnswers() {
        Program program;
        insertEntries(program.db, "zccjtime", {{"09:00:30", "第二节", "上课.mp3"}});
        auto window = program.open();

        program.prompts.confirmAnswers = {false};
        window->onPlanDoubleClick(1);
        QCOMPARE(program.prompts.questions.size(), std::size_t(1));
        const UserMessage& question = program.prompts.questions[0];
        QCOMPARE(question.text, std::string("2 星期一 09:00:30 第二节\n\n是否删除?\n\n 注:只删除,不保存!"));
        QCOMPARE(question.caption, std::string("删除"));
        QVERIFY(question.icon == MessageIcon::Question);
        QCOMPARE(window->plan().rowCount(), 2);

        program.prompts.confirmAnswers = {true};
        window->onPlanDoubleClick(0);
        QCOMPARE(column(window->plan(), 3), std::vector<std::string>{"第二节"});
        QCOMPARE(child<QTableView>(*window, "planList")->model()->rowCount(), 1);
        QCOMPARE(program.db.rows("select * from zccjtime").size(), std::size_t(2)); // list only
    }

    // A double click where no row is: the question names no row, and OK deletes nothing.
    void doubleClickOutsideTheRowsDeletesNothing() {
        Program program;
        insertEntries(program.db, "zccjtime", {{"09:00:30", "第二节", "上课.mp3"}});
        auto window = program.open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        auto* list = child<QTableView>(*window, "planList");
        const int arms = window->engine().armCount();

        program.prompts.confirmAnswers = {true, true, false};
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, list->viewport()->height() - 5));
        window->onPlanDoubleClick(5);
        QCOMPARE(program.prompts.questions.size(), std::size_t(2));
        for (const UserMessage& question : program.prompts.questions) {
            QCOMPARE(question.text, std::string("   \n\n是否删除?\n\n 注:只删除,不保存!"));
            QCOMPARE(question.caption, std::string("删除"));
            QVERIFY(question.icon == MessageIcon::Question);
        }
        QCOMPARE(list->model()->rowCount(), 2);
        QCOMPARE(window->engine().armCount(), arms); // the bell was not re-armed

        // On a row the question is asked once and names it.
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                           list->visualRect(list->model()->index(1, 1)).center());
        QCOMPARE(program.prompts.questions.size(), std::size_t(3));
        QCOMPARE(program.prompts.questions[2].text,
                 std::string("2 星期一 09:00:30 第二节\n\n是否删除?\n\n 注:只删除,不保存!"));
        QCOMPARE(list->model()->rowCount(), 2);
    }

    // Deleting the armed row, or one above it, must not make the bell ring whatever entry moves
    // into the armed position at the armed time.
    void deletionReArmsTheBell_data() {
        QTest::addColumn<int>("deleted");
        QTest::addColumn<QString>("remaining"); // events in the list afterwards
        QTest::addColumn<int>("armedTime");     // second of day the bell waits for
        QTest::newRow("the armed row") << 1 << "早读 第二节" << 9 * 3600 + 30;
        QTest::newRow("a done row above it") << 0 << "预备 第二节" << 8 * 3600;
        QTest::newRow("a row below it") << 2 << "早读 预备" << 8 * 3600;
    }
    void deletionReArmsTheBell() {
        QFETCH(int, deleted);
        QFETCH(QString, remaining);
        QFETCH(int, armedTime);
        Program program;
        program.db.run("delete from zccjtime");
        insertEntries(program.db, "zccjtime",
                      {{"06:30", "早读", "早读.mp3"},
                       {"08:00", "预备", "预备.mp3"},
                       {"09:00:30", "第二节", "上课.mp3"}});
        program.clock.time = monday(7, 59, 0);
        auto window = program.open();
        QCOMPARE(window->engine().currentRow(), 1);

        program.prompts.confirmAnswers = {true};
        window->onPlanDoubleClick(deleted);

        QString events;
        for (const auto& e : column(window->plan(), 3))
            events += (events.isEmpty() ? "" : " ") + QString::fromStdString(e);
        QCOMPARE(events, remaining);
        const BellEngine& bell = window->engine();
        QCOMPARE(bell.target().secondOfDay(), armedTime);
        const int armedRow = bell.currentRow();

        // Nothing rings before the armed entry's time; at its time exactly that entry rings.
        const int before = armedTime - 1;
        program.clock.tickThrough(*window, monday(7, 59, 1),
                                  monday(before / 3600, before / 60 % 60, before % 60));
        QCOMPARE(window->plan().cell(armedRow, 5), std::string("待完"));
        window->onTick(monday(armedTime / 3600, armedTime / 60 % 60, armedTime % 60));
        QCOMPARE(window->plan().cell(armedRow, 5), std::string("完成"));
    }

    void entryRingsWhenTheTickReachesItsTime() {
        Program program;
        program.db.run("delete from zccjtime");
        insertEntries(program.db, "zccjtime",
                      {{"07:59:30", "预备", "预备.mp3"},
                       {"08:00:10", "第一节", "上课.mp3"},
                       {"08:05", "下课", "下课.mp3"}});
        program.clock.time = monday(8, 0, 0);
        auto window = program.open();
        auto* list = child<QTableView>(*window, "planList");
        // The entry half a minute ago is still within its minute: it is armed, not marked done.
        QCOMPARE(column(window->plan(), 5), (std::vector<std::string>{"待完", "待完", "待完"}));
        QCOMPARE(window->engine().currentRow(), 0);

        // Six ticks of waiting after start-up, then the overdue 预备 rings at once.
        program.clock.tickThrough(*window, monday(8, 0, 1), monday(8, 0, 6));
        QCOMPARE(window->plan().cell(0, 5), std::string("待完"));
        window->onTick(monday(8, 0, 7));
        QCOMPARE(window->plan().cell(0, 5), std::string("完成"));
        QCOMPARE(list->model()->index(0, 5).data().toString(), QStringLiteral("完成"));

        // The bell waits six ticks after a firing too; 第一节 rings at its own second.
        program.clock.tickThrough(*window, monday(8, 0, 8), monday(8, 0, 9));
        QCOMPARE(window->plan().cell(1, 5), std::string("待完"));
        window->onTick(monday(8, 0, 10));
        QCOMPARE(window->plan().cell(1, 5), std::string("待完")); // still in the wait after 预备
        program.clock.tickThrough(*window, monday(8, 0, 11), monday(8, 0, 14));
        QCOMPARE(window->plan().cell(1, 5), std::string("完成"));
        QCOMPARE(window->engine().currentRow(), 2);
        QVERIFY(list->selectionModel()->isRowSelected(2, {}));
        QVERIFY(program.prompts.messages.empty());
    }

    void missingDatabaseAndAllDoneAreReported() {
        ScheduleFixture db;
        FakeClock clock{monday(7, 0, 0)};
        ScriptedPrompts prompts;
        std::filesystem::remove(db.database());
        test::StandaloneWindow window(db.folder(), clock, prompts);

        // A plan that could not be read is not a day whose bells have all rung.
        QCOMPARE(prompts.messages.size(), std::size_t(1));
        QCOMPARE(prompts.messages[0].text, std::string("数据库已丢失!"));
        QCOMPARE(prompts.messages[0].caption, std::string(""));
        QVERIFY(prompts.messages[0].icon == MessageIcon::Question);
        QCOMPARE(window.dayType(), 1);
        QCOMPARE(window.season(), 1);
        QVERIFY(!std::filesystem::exists(db.database())); // nothing made up in its place
    }

    void aDayWhoseEntriesHavePassedEndsWithAllDone() {
        Program program;
        insertEntries(program.db, "zccjtime", {{"12:00:00", "午休", "午休.mp3"}});
        program.clock.time = monday(18, 0, 0);
        auto window = program.open();
        QCOMPARE(program.prompts.texts(), std::vector<std::string>{"所有任务已完成!"});
        QCOMPARE(column(window->plan(), 5), (std::vector<std::string>{"完成", "完成"}));
        QCOMPARE(window->engine().currentRow(), -1);
        QCOMPARE(program.prompts.messages[0].caption, std::string("提示"));
    }

    void theNightlyReloadShowsTheNewPlan() {
        Program program;
        insertEntries(program.db, "zccjtime", {{"09:00", "第二节", "上课.mp3"}});
        program.clock.time = monday(0, 30, 0);
        auto window = program.open();
        auto* list = child<QTableView>(*window, "planList");
        program.prompts.confirmAnswers = {true};
        window->onPlanDoubleClick(1);
        QCOMPARE(list->model()->rowCount(), 1);

        program.clock.tickThrough(*window, monday(1, 0, 58), monday(1, 1, 0));
        QCOMPARE(column(window->plan(), 3), (std::vector<std::string>{"春季正常", "第二节"}));
        QCOMPARE(list->model()->rowCount(), 2);
        QCOMPARE(list->model()->index(1, 3).data().toString(), QStringLiteral("第二节"));
        QCOMPARE(list->columnWidth(4), 220);
    }

    void enterEscAndTheTrayMenuEndTheWindowAndRemoveTheTrayIcon_data() {
        QTest::addColumn<int>("how"); // 0 Enter, 1 Esc, 2 关闭, 3 close box
        QTest::addColumn<int>("result");
        QTest::newRow("Enter") << 0 << int(QDialog::Accepted);
        QTest::newRow("Esc") << 1 << int(QDialog::Rejected);
        QTest::newRow("关闭") << 2 << int(QDialog::Rejected);
        QTest::newRow("close box") << 3 << int(QDialog::Rejected);
    }
    void enterEscAndTheTrayMenuEndTheWindowAndRemoveTheTrayIcon() {
        QFETCH(int, how);
        QFETCH(int, result);
        Program program;
        auto window = program.open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        BellTray bellTray;
        window->attachTray(bellTray);
        bellTray.show();
        QSystemTrayIcon* tray = bellTray.icon();
        QVERIFY(tray->isVisible());
        QCOMPARE(tray->toolTip(), QStringLiteral("校园广播"));
        QCOMPARE(tray->icon().cacheKey() != 0, true);
        const QList<QAction*> items = tray->contextMenu()->actions();
        QCOMPARE(items.last()->text(), QStringLiteral("关闭")); // the rest: RingTrayTest
        QSignalSpy finished(window.get(), &QDialog::finished);

        auto* list = child<QTableView>(*window, "planList");
        list->setFocus();
        if (how == 0)
            QTest::keyClick(list, Qt::Key_Return);
        else if (how == 1)
            QTest::keyClick(list, Qt::Key_Escape);
        else if (how == 2)
            items.last()->trigger();
        else
            window->close();

        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toInt(), result);
        QVERIFY(!window->isVisible());
        QVERIFY(!tray->isVisible());
    }

    void settingsButtonRunsTheSettingsDialog() {
        Program program;
        auto window = program.open();
        QString opened;
        QTimer::singleShot(0, [&opened] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* settings = qobject_cast<SettingsDialog*>(modal)) {
                opened = settings->windowTitle();
                settings->reject();
            }
        });
        QTest::mouseClick(child<QPushButton>(*window, "settingsButton"), Qt::LeftButton);
        QCOMPARE(opened, QStringLiteral("时间设置"));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void trayDoubleClickBringsTheWindowBack() {
        Program program;
        auto window = program.open();
        BellTray tray;
        window->attachTray(tray);
        window->hide();
        emit tray.icon()->activated(QSystemTrayIcon::Context);
        QVERIFY(!window->isVisible());
        emit tray.icon()->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(window->isVisible());
    }

    // Here (offscreen) there is no notification area: a hidden window could never come back.
    void withoutATrayTheWindowStaysVisible() {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        Program program;
        auto window = program.open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->onTick(program.clock.time);
        QTest::qWait(MainDialog::kHideDelayMs + 500);
        QVERIFY(window->isVisible());
        window->showMinimized();
        QTest::qWait(100);
        QVERIFY(window->isVisible());
    }
};

QTEST_MAIN(MainDialogTest)
#include "MainDialogTest.moc"
