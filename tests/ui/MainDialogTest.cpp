#include "bell/window/MainDialog.h"
#include "bell/BellEngine.h"
#include "bell/window/BellTray.h"
#include "clockdisplay/window/ClockDisplay.h"
#include "exam/window/SettingsDialog.h"
#include "store/TableCatalogue.h"
#include "support/ProgramWindow.h"
#include "support/ScreenReader.h"
#include "widgets/Resources.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QtTest>

#include <filesystem>
#include <string>
#include <vector>

using namespace halvix;
using namespace halvix::test;

namespace {

const char* const kRadios[] = {"dailyButton", "examButton", "springButton", "autumnButton"};

// Which radios are checked, in the order of kRadios: "1010" for 日常 and 春季.
QString checkedRadios(const MainDialog& window) {
    QString checked;
    for (const char* radio : kRadios)
        checked += child<QRadioButton>(window, radio)->isChecked() ? '1' : '0';
    return checked;
}

} // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initResources(); }

    void startUpReadsSeasonAndDayTypeChecksTheRadiosAndLoadsThatPlan_data() {
        // checked: the radios daily, exam, spring and autumn; event: the plan's one entry.
        for (const char* column : {"dayType", "season", "checked", "event"})
            QTest::addColumn<QString>(column);
        const char* const rows[][5] = {{"daily spring", "1", "1", "1010", "春季正常"},
                                       {"daily autumn", "1", "2", "1001", "秋季正常"},
                                       {"exam spring", "2", "1", "0110", "春季考试"},
                                       {"exam autumn", "2", "2", "0101", "秋季考试"}};
        for (const auto& r : rows)
            QTest::newRow(r[0]) << r[1] << r[2] << r[3] << r[4];
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
        QCOMPARE(checkedRadios(*window), checked);
        QCOMPARE(column(window->plan().toTable(), 3), std::vector<std::string>{event.toStdString()});
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
        const struct {
            const char *name, *button, *table, *stored, *checked, *event;
            bool screenReader;
        } rows[] = {
            {"考试", "examButton", "lxtime", "2", "0110", "春季考试", false},
            {"秋季", "autumnButton", "jjtime", "2", "1001", "秋季正常", false},
            // Clicking the button that is already checked writes and reloads all the same.
            {"日常 again", "dailyButton", "lxtime", "1", "1010", "春季正常", false},
            {"春季 again", "springButton", "jjtime", "1", "1010", "春季正常", false},
            // A screen reader's toggle does what a click does.
            {"考试 by a screen reader", "examButton", "lxtime", "2", "0110", "春季考试", true},
            {"秋季 by a screen reader", "autumnButton", "jjtime", "2", "1001", "秋季正常", true},
        };
        for (const auto& r : rows)
            QTest::newRow(r.name) << r.button << r.table << r.stored << r.checked << r.event
                                  << r.screenReader;
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

        for (const char* radio : kRadios)
            QCOMPARE(test::accessibleRole(child<QRadioButton>(*window, radio)), QAccessible::RadioButton);
        auto* pressed = child<QRadioButton>(*window, button);
        if (screenReader)
            QVERIFY(test::doFirstAction(pressed));
        else
            QTest::mouseClick(pressed, Qt::LeftButton);

        QCOMPARE(firstValue(program.db, table.toStdString()), stored.toStdString());
        QCOMPARE(checkedRadios(*window), checked);
        QCOMPARE(window->plan().toTable().cell(0, 3), event.toStdString());
        QCOMPARE(window->plan().toTable().cell(0, 5), std::string("待完"));
        QCOMPARE(child<QTableView>(*window, "planList")->model()->rowCount(),
                 window->plan().toTable().rowCount());
        const QString fit = columnsDoNotFit(*child<QTableView>(*window, "planList"), {0, 1, 2, 3, 4, 5});
        QVERIFY2(fit.isEmpty(), qPrintable(fit));
    }

    void entryRingsWhenTheTickReachesItsTime() {
        Program program;
        auto window = program.openDay({{"07:59:30", "预备", "预备.mp3"},
                                       {"08:00:10", "第一节", "上课.mp3"},
                                       {"08:05", "下课", "下课.mp3"}},
                                      monday(8, 0, 0));
        auto* list = child<QTableView>(*window, "planList");
        // The entry half a minute ago is still within its minute: it is armed, not marked done.
        QCOMPARE(column(window->plan().toTable(), 5), (std::vector<std::string>{"待完", "待完", "待完"}));
        QCOMPARE(window->engine().currentRow(), 0);

        // Six ticks of waiting after start-up, then the overdue 预备 rings at once.
        program.clock.tickThrough(*window, monday(8, 0, 1), monday(8, 0, 6));
        QCOMPARE(window->plan().toTable().cell(0, 5), std::string("待完"));
        window->onTick(monday(8, 0, 7));
        QCOMPARE(window->plan().toTable().cell(0, 5), std::string("完成"));
        QCOMPARE(list->model()->index(0, 5).data().toString(), QStringLiteral("完成"));

        // The bell waits six ticks after a firing too; 第一节 rings at its own second.
        program.clock.tickThrough(*window, monday(8, 0, 8), monday(8, 0, 9));
        QCOMPARE(window->plan().toTable().cell(1, 5), std::string("待完"));
        window->onTick(monday(8, 0, 10));
        QCOMPARE(window->plan().toTable().cell(1, 5), std::string("待完")); // still in the wait after 预备
        program.clock.tickThrough(*window, monday(8, 0, 11), monday(8, 0, 14));
        QCOMPARE(window->plan().toTable().cell(1, 5), std::string("完成"));
        QCOMPARE(window->engine().currentRow(), 2);
        QVERIFY(list->selectionModel()->isRowSelected(2, {}));
        QVERIFY(program.prompts.messages.empty());
    }

    void theListSaysWhatBecameOfEachEntry() {
        // Started at 08:00:00; the window is then held up from 08:00:20 to 08:02:00.
        const struct {
            const char* time;
            const char* word;
        } rows[] = {
            {"07:00:00", "已过"}, // passed before the start: it never rang
            {"07:59:30", "完成"}, // within its minute at the start: rings
            {"08:00:40", "已过"}, // over a minute overdue when the ticks come back: passed over
            {"08:01:30", "完成"}, // less than a minute overdue then: rings late
            {"09:00", "待完"},    // still to come
        };
        Entries entries;
        for (const auto& row : rows)
            entries.push_back({row.time, "铃", "上课.mp3"});
        Program program;
        auto window = program.openDay(entries, monday(8, 0, 0));
        program.clock.tickThrough(*window, monday(8, 0, 1), monday(8, 0, 20));
        program.clock.tickThrough(*window, monday(8, 2, 0), monday(8, 2, 10));
        auto* list = child<QTableView>(*window, "planList");
        for (int row = 0; row < int(std::size(rows)); ++row) {
            QCOMPARE(list->model()->index(row, StatusColumn).data().toString(), QString(rows[row].word));
            QCOMPARE(window->plan().toTable().cell(row, StatusColumn), std::string(rows[row].word));
        }
        QCOMPARE(window->engine().currentRow(), 4);
        const QString fit = columnsDoNotFit(*list, {StatusColumn});
        QVERIFY2(fit.isEmpty(), qPrintable(fit));
    }

    void anUnusableDatabaseIsSaidOnTheStatusLine_data() {
        QTest::addColumn<QString>("bytes"); // "-": no file at all
        QTest::addColumn<QString>("said");  // how the status line begins
        // A first start on a folder without a database has lost nothing: it says there is none yet.
        QTest::newRow("missing") << "-"
                                 << "还没有数据库: 文件夹 ";
        QTest::newRow("0 bytes") << ""
                                 << "jbase.mdb 不是本程序的数据库 (缺少表 lxtime), 请从备份恢复";
        QTest::newRow("garbage") << "这不是数据库\n"
                                 << "无法打开 jbase.mdb: 数据库文件已损坏, 或不是数据库文件, 请从备份恢复";
    }
    void anUnusableDatabaseIsSaidOnTheStatusLine() {
        QFETCH(QString, bytes);
        QFETCH(QString, said);
        ScheduleFixture db;
        FakeClock clock{monday(7, 0, 0)};
        ScriptedPrompts prompts;
        std::filesystem::remove(db.database());
        if (bytes != "-")
            db.temp().write("jbase.mdb", bytes.toStdString());
        test::StandaloneWindow window(db.folder(), clock, prompts);

        // Nobody asked for the start: no box waits for a click, the status line says it, once,
        // beginning with what is wrong (the line shows its first words, its tooltip the whole). A
        // plan that could not be read is not a day whose bells have all rung.
        QVERIFY(prompts.messages.empty());
        const QString status = child<QLabel>(window, "statusLine")->text();
        QVERIFY2(status.startsWith(said), qPrintable(status));
        QCOMPARE(status.count(said), 1);
        QVERIFY2(status.contains(QStringLiteral("/usr/share/halvix/jbase.mdb")) || bytes == "这不是数据库\n",
                 qPrintable(status));
        QVERIFY2(!status.contains(QStringLiteral("所有任务已完成")), qPrintable(status));
        QVERIFY2(!status.contains(QStringLiteral("no such")), qPrintable(status));
        QCOMPARE(window.dayType(), 1);
        QCOMPARE(window.season(), 1);
        // The file stays as it was; none is made up in its place.
        QCOMPARE(std::filesystem::exists(db.database()), bytes != "-");
        if (bytes != "-")
            QCOMPARE(test::readFile(db.database()), bytes.toStdString());
    }

    void aDayWhoseEntriesHavePassedEndsWithAllDone() {
        Program program;
        insertEntries(program.db, "zccjtime", {{"12:00:00", "午休", "午休.mp3"}});
        program.clock.time = monday(18, 0, 0);
        auto window = program.open();
        QCOMPARE(column(window->plan().toTable(), 5), (std::vector<std::string>{"已过", "已过"}));
        QCOMPARE(window->engine().currentRow(), -1);
        // At start-up nobody asked: the status line and the tray's tip say it, no box waits.
        QVERIFY(program.prompts.messages.empty());
        QCOMPARE(child<QLabel>(*window, "statusLine")->text(), QStringLiteral("所有任务已完成!"));
        BellTray tray;
        window->attachTray(tray);
        QVERIFY2(tray.toolTip().endsWith(QStringLiteral("\n所有任务已完成!")), qPrintable(tray.toolTip()));
        // A choice the user makes is answered in a box, with the information icon.
        QTest::mouseClick(child<QRadioButton>(*window, "dailyButton"), Qt::LeftButton);
        QCOMPARE(program.prompts.texts(), std::vector<std::string>{"所有任务已完成!"});
        QCOMPARE(program.prompts.messages[0].caption, std::string("提示"));
        QVERIFY(program.prompts.messages[0].icon == MessageIcon::Information);
    }

    void theNightlyReloadShowsTheNewPlan() {
        Program program;
        insertEntries(
            program.db, "zccjtime",
            {{"09:00", "第二节", "广播操\\第三套全国中小学生广播体操完整版示范与分解动作讲解.mp3"}});
        program.clock.time = monday(0, 30, 0);
        auto window = program.open();
        auto* list = child<QTableView>(*window, "planList");
        program.prompts.confirmAnswers = {true};
        window->onPlanDoubleClick(1);
        QCOMPARE(list->model()->rowCount(), 1);

        program.clock.tickThrough(*window, monday(1, 0, 58), monday(1, 1, 0));
        QCOMPARE(column(window->plan().toTable(), 3), (std::vector<std::string>{"春季正常", "第二节"}));
        QCOMPARE(list->model()->rowCount(), 2);
        QCOMPARE(list->model()->index(1, 3).data().toString(), QStringLiteral("第二节"));
        // A folder's long name gives way before 状态, which stays whole, and 备注 fills the rest.
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QString fit = columnsDoNotFit(*list, {0, 1, 2, 3, 5});
        QVERIFY2(fit.isEmpty(), qPrintable(fit));
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
};

QTEST_MAIN(MainDialogTest)
#include "MainDialogTest.moc"
