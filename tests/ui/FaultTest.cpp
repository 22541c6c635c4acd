// The running program meets a database that goes wrong under it: read-only, locked by another
// process, deleted, or replaced by garbage. Each click, the data dialog's save and the nightly
// reload must say what is wrong in Chinese, the bell must go on ringing the plan it has, the next
// day must ring once the database is usable again, and nothing stored may change.
#include "bell/BellEngine.h"
#include "bell/window/MainDialog.h"
#include "editing/window/DataDialog.h"
#include "store/TableCatalogue.h"
#include "support/DatabaseFaults.h"
#include "support/FakeClock.h"
#include "support/ScheduleFixture.h"
#include "support/ScriptedPrompts.h"
#include "support/StandaloneWindow.h"
#include "widgets/Resources.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QTableView>
#include <QtTest>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace halvix;
using test::ScheduleFixture;
using test::ScriptedPrompts;
using Rows = std::vector<std::vector<std::string>>;
using Texts = std::vector<std::string>;

namespace {

using test::DatabaseFault;
using enum test::DatabaseFault;

// Wednesday 12 and Thursday 13 March 2025.
LocalTime wednesday(int hour, int minute, int second) {
    return {2025, 3, 12, hour, minute, second, 3};
}
LocalTime thursday(int hour, int minute, int second) {
    return {2025, 3, 13, hour, minute, second, 4};
}

const Rows kDaily = {{"1", "", "08:00", "第一节", "上课.mp3", "待完", ""},
                     {"2", "", "08:45", "下课", "下课.mp3", "待完", ""}};
const Rows kExam = {{"1", "", "08:00", "考试", "考试.mp3", "待完", ""}};

Texts column(const TextTable& plan, int c) {
    Texts out;
    for (int r = 0; r < plan.rowCount(); ++r)
        out.push_back(plan.cell(r, c));
    return out;
}

bool anyContains(const std::vector<UserMessage>& messages, std::size_t from, const std::string& part) {
    for (std::size_t i = from; i < messages.size(); ++i)
        if (messages[i].text.find(part) != std::string::npos)
            return true;
    return false;
}

std::string textsFrom(const ScriptedPrompts& prompts, std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < prompts.messages.size(); ++i)
        out += "[" + prompts.messages[i].text + "] ";
    return out;
}

// A program folder whose daily plan has two entries and whose spring exam plan has one.
struct Program {
    Program() {
        db.writeWeekFile("0"); // no school-week day: every weekday uses zccjtime
        db.insertPlan("zccjtime", kDaily);
        db.insertPlan("kscjtime", kExam);
        stored = test::readFile(db.database());
    }

    // The fault is in place until restore().
    void inject(DatabaseFault fault) {
        injected = std::make_unique<test::FaultyDatabase>(db.database(), fault);
        if (fault == Locked)
            QVERIFY(injected->holds());
    }
    void restore(DatabaseFault fault) {
        injected.reset();
        if (fault == Missing || fault == Garbage)
            db.temp().write("jbase.mdb", stored);
    }

    ScheduleFixture db;
    test::FakeClock clock{wednesday(7, 58, 0)};
    ScriptedPrompts prompts;
    std::string stored;
    std::unique_ptr<test::FaultyDatabase> injected;
};

} // namespace

class FaultTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initResources(); }

    void theBellRingsOnThroughADatabaseFault_data() {
        QTest::addColumn<int>("faultNumber");
        QTest::addColumn<QString>("reason"); // part of the Chinese message
        QTest::newRow("read-only") << int(ReadOnly) << "只读";
        QTest::newRow("locked by another process") << int(Locked) << "占用";
        QTest::newRow("deleted") << int(Missing) << "找不到";
        QTest::newRow("replaced by garbage") << int(Garbage) << "不是数据库";
    }

    void theBellRingsOnThroughADatabaseFault() {
        QFETCH(int, faultNumber);
        QFETCH(QString, reason);
        const auto fault = DatabaseFault(faultNumber);
        const std::string why = reason.toStdString();
        Program program;
        if (fault == ReadOnly && ::geteuid() == 0) {
            test::ReadOnlyFile probe(program.db.database());
            if (!probe.holds())
                QSKIP("cannot make the file read-only for the superuser here");
        }
        auto window =
            std::make_unique<test::StandaloneWindow>(program.db.folder(), program.clock, program.prompts);
        QCOMPARE(column(window->plan().toTable(), 3), (Texts{"第一节", "下课"}));
        DataDialog data(program.db.folder(), program.prompts);
        data.findChild<QAbstractButton*>("springWeekdaysButton")->click();
        QCOMPARE(data.findChild<QTableView*>("tableList")->model()->rowCount(), 2);
        QVERIFY(program.prompts.messages.empty());

        program.inject(fault);

        // 考试: the choice holds for this run even where it cannot be stored; the plan of the new
        // day type loads only where the database can still be read.
        window->onExam();
        QVERIFY2(anyContains(program.prompts.messages, 0, why), textsFrom(program.prompts, 0).c_str());
        QCOMPARE(window->dayType(), 2);
        QVERIFY(window->findChild<QRadioButton*>("examButton")->isChecked());
        QVERIFY(!window->findChild<QRadioButton*>("dailyButton")->isChecked());
        const Texts planEvents = fault == ReadOnly ? Texts{"考试"} : Texts{"第一节", "下课"};
        QCOMPARE(column(window->plan().toTable(), 3), planEvents);

        // The plan it has rings at 08:00.
        program.clock.tickThrough(*window, wednesday(7, 58, 1), wednesday(8, 0, 10));
        QCOMPARE(window->plan().toTable().cell(0, StatusColumn), std::string("完成"));

        // 保存 in the data dialog after deleting a row: refused, with the reason.
        std::size_t seen = program.prompts.messages.size();
        program.prompts.confirmAnswers = {true};
        auto* list = data.findChild<QTableView*>("tableList");
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                           list->visualRect(list->model()->index(0, 1)).center());
        QCOMPARE(list->model()->rowCount(), 1);
        data.findChild<QAbstractButton*>("saveButton")->click();
        const std::string refusal = fault == Missing ? "找不到数据库: " : "数据保存失败!";
        QVERIFY2(anyContains(program.prompts.messages, seen, refusal),
                 textsFrom(program.prompts, seen).c_str());
        QVERIFY(!anyContains(program.prompts.messages, seen, "已保存!"));

        // The nightly reload: what cannot be read is reported in the tray, never in a box that
        // would wait for a click, and the plan stays.
        seen = program.prompts.messages.size();
        QSignalSpy notices(&window->ownBell(), &Bell::unattendedNotice);
        QElapsedTimer night;
        night.start();
        program.clock.tickThrough(*window, thursday(1, 0, 58), thursday(1, 1, 10));
        // A load inside a tick never waits out a lock: it fails at once and is tried again later.
        QVERIFY2(night.elapsed() < 2000,
                 qPrintable(QStringLiteral("13 ticks took %1 ms").arg(night.elapsed())));
        QCOMPARE(program.prompts.messages.size(), seen);
        if (fault == ReadOnly) {
            QCOMPARE(column(window->plan().toTable(), StatusColumn), Texts{"待完"});
        } else {
            QVERIFY2(notices.size() == 1, "a failed nightly reload is reported once");
            QCOMPARE(column(window->plan().toTable(), 3), planEvents);
        }
        if (fault == Garbage)
            QCOMPARE(test::readFile(program.db.database()), test::notADatabase());

        // Put right in the night, the database gives Thursday its plan without a restart, and
        // without a message box for every attempt that failed meanwhile.
        program.restore(fault);
        seen = program.prompts.messages.size();
        program.clock.tickThrough(*window, thursday(1, 1, 11), thursday(1, 4, 0));
        QCOMPARE(column(window->plan().toTable(), StatusColumn), Texts{"待完"});
        QCOMPARE(column(window->plan().toTable(), 3), Texts{"考试"});
        QVERIFY2(program.prompts.messages.size() == seen, textsFrom(program.prompts, seen).c_str());
        program.clock.tickThrough(*window, thursday(7, 59, 50), thursday(8, 0, 10));
        QCOMPARE(column(window->plan().toTable(), StatusColumn), Texts{"完成"});

        // Nothing stored changed: every write was refused as a whole.
        window.reset();
        QCOMPARE(program.db.rows("select * from zccjtime"), kDaily);
        QCOMPARE(program.db.rows("select * from kscjtime"), kExam);
        QCOMPARE(program.db.rows("select * from lxtime"), (Rows{{"1"}}));
        QCOMPARE(program.db.rows("pragma integrity_check"), (Rows{{"ok"}}));
    }
};

QTEST_MAIN(FaultTest)
#include "FaultTest.moc"
