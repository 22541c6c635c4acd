// The main window under the school calendar: the line that says how today was decided, the radio
// buttons showing today's values, and a calendar saved from the window reloading today's plan.
#include "bell/BellEngine.h"
#include "bell/window/MainDialog.h"
#include "calendar/CalendarStore.h"
#include "store/TableCatalogue.h"
#include "support/FakeClock.h"
#include "support/RecordingSink.h"
#include "support/ScheduleFixture.h"
#include "support/ScriptedPrompts.h"
#include "support/StandaloneWindow.h"
#include "widgets/Resources.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

using namespace halvix;

namespace {

// Monday 4 March 2024, stored 日常 and 春季; each plan table holds one entry named after it.
struct Program {
    explicit Program(std::vector<CalendarEntry> calendar) {
        db.writeWeekFile("0");
        for (const auto& [table, event] : {std::pair{"zccjtime", "春季正常"},
                                           {"zcqjtime", "秋季正常"},
                                           {"kscjtime", "春季考试"},
                                           {"ksqjtime", "秋季考试"}})
            db.insertPlan(table, {{"1", "", "08:00", event, "上课.mp3", "待完", ""}});
        test::RecordingSink sink;
        if (!saveCalendar(db.folder(), calendar, sink))
            qFatal("calendar not saved");
        window = std::make_unique<test::StandaloneWindow>(db.folder(), clock, prompts);
    }
    QString line() const { return window->findChild<QLabel*>("todayLine")->text(); }
    QString event() const {
        return window->plan().toTable().rowCount()
                   ? QString::fromStdString(window->plan().toTable().cell(0, 3))
                   : QString();
    }
    bool checked(const char* button) const { return window->findChild<QRadioButton*>(button)->isChecked(); }
    void click(const char* button) { window->findChild<QAbstractButton*>(button)->click(); }

    test::ScheduleFixture db;
    test::FakeClock clock{test::dateTime(2024, 3, 4, 7)};
    test::ScriptedPrompts prompts;
    std::unique_ptr<MainDialog> window;
};

CalendarEntry today(CalendarType type, const char* note) {
    return {{2024, 3, 4}, {2024, 3, 4}, type, 0, note};
}

} // namespace

class CalendarWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initResources(); }

    void todaysDecisionIsShownFollowedAndExplained() {
        Program program({today(CalendarType::Exam, "期中考试")});
        QCOMPARE(program.line(), QStringLiteral("今日: 星期一, 考试 (期中考试), 春季"));
        QCOMPARE(program.event(), QStringLiteral("春季考试"));
        QVERIFY(program.checked("examButton")); // today's value, while lxtime holds 日常
        QVERIFY(program.prompts.messages.empty());

        // 日常 is stored as the default; today stays an exam day, and the window says why.
        program.click("dailyButton");
        QCOMPARE(program.db.rows("select * from lxtime"), (std::vector<std::vector<std::string>>{{"1"}}));
        QCOMPARE(program.event(), QStringLiteral("春季考试"));
        QVERIFY(program.checked("examButton"));
        QCOMPARE(program.prompts.messages.size(), std::size_t(1));
        QVERIFY(
            program.prompts.messages[0].text.starts_with("今日由校历决定: 星期一, 考试 (期中考试), 春季"));

        // The term is the stored one's to change: no word about the calendar.
        program.click("autumnButton");
        QCOMPARE(program.event(), QStringLiteral("秋季考试"));
        QCOMPARE(program.line(), QStringLiteral("今日: 星期一, 考试 (期中考试), 秋季"));
        QCOMPARE(program.prompts.messages.size(), std::size_t(1));

        // The exam day deleted in the 校历 dialog: today's plan is loaded again at once.
        QTimer::singleShot(0, [] {
            auto* dialog = QApplication::activeModalWidget();
            QVERIFY(dialog);
            dialog->findChild<QTableView*>("entryList")->selectRow(0);
            dialog->findChild<QPushButton*>("deleteButton")->click();
            dialog->findChild<QPushButton*>("saveButton")->click();
            dialog->close();
        });
        program.click("calendarButton");
        QCOMPARE(program.event(), QStringLiteral("秋季正常"));
        QCOMPARE(program.line(), QStringLiteral("今日: 星期一, 日常, 秋季"));
        QVERIFY(program.checked("dailyButton"));
    }

    void aSilentDayRingsNothingAndSaysWhy() {
        Program program({today(CalendarType::Silent, "国庆节")});
        QCOMPARE(program.line(), QStringLiteral("今日: 停铃 (国庆节)\n今日停铃, 不响铃"));
        QVERIFY(program.window->nextEntryCountdown() <= 0); // no countdown to a bell that will not ring
        QCOMPARE(program.window->plan().toTable().rowCount(), 0);
        QCOMPARE(program.window->plan().toTable().columnCount(), 7);
        QVERIFY(program.prompts.messages.empty()); // not "所有任务已完成!": nothing was to ring
        program.clock.tickThrough(*program.window, test::dateTime(2024, 3, 4, 7, 59, 50),
                                  test::dateTime(2024, 3, 4, 8, 0, 10));
        QCOMPARE(program.window->engine().currentRow(), -1);
    }
};

QTEST_MAIN(CalendarWindowTest)
#include "CalendarWindowTest.moc"
