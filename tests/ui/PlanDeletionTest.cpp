// Rows deleted from the main window's plan list: the question, the answers, and the bell armed
// again for what is left.

#include "bell/BellEngine.h"
#include "bell/window/MainDialog.h"
#include "store/TableCatalogue.h"
#include "support/ProgramWindow.h"
#include "widgets/Resources.h"

#include <QTableView>
#include <QtTest>

#include <string>
#include <vector>

using namespace halvix;
using namespace halvix::test;

class PlanDeletionTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initResources(); }

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
        QCOMPARE(window->plan().toTable().rowCount(), 2);

        program.prompts.confirmAnswers = {true};
        window->onPlanDoubleClick(0);
        QCOMPARE(column(window->plan().toTable(), 3), std::vector<std::string>{"第二节"});
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
        auto window = program.openDay({{"06:30", "早读", "早读.mp3"},
                                       {"08:00", "预备", "预备.mp3"},
                                       {"09:00:30", "第二节", "上课.mp3"}},
                                      monday(7, 59, 0));
        QCOMPARE(window->engine().currentRow(), 1);

        program.prompts.confirmAnswers = {true};
        window->onPlanDoubleClick(deleted);

        QString events;
        for (const auto& e : column(window->plan().toTable(), 3))
            events += (events.isEmpty() ? "" : " ") + QString::fromStdString(e);
        QCOMPARE(events, remaining);
        const BellEngine& bell = window->engine();
        QCOMPARE(bell.target().secondOfDay(), armedTime);
        const int armedRow = bell.currentRow();

        // Nothing rings before the armed entry's time; at its time exactly that entry rings.
        const int before = armedTime - 1;
        program.clock.tickThrough(*window, monday(7, 59, 1),
                                  monday(before / 3600, before / 60 % 60, before % 60));
        QCOMPARE(window->plan().toTable().cell(armedRow, 5), std::string("待完"));
        window->onTick(monday(armedTime / 3600, armedTime / 60 % 60, armedTime % 60));
        QCOMPARE(window->plan().toTable().cell(armedRow, 5), std::string("完成"));
    }
};

QTEST_MAIN(PlanDeletionTest)
#include "PlanDeletionTest.moc"
