#include "editing/window/DataDialog.h"

#include "support/DataHarness.h"
#include "support/DatabaseFaults.h"
#include "support/PlanTitles.h"
#include "support/ScreenReader.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QTableView>
#include <QtTest>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace halvix;
using namespace halvix::test;

namespace {

// The table buttons in the order of the codes they choose, 1 to 9.
const struct {
    const char *label, *button, *table;
} kPlanButtons[] = {
    {"春季 星期一", "springMondayButton", "cjtime"}, {"春季 星期2--4", "springWeekdaysButton", "zccjtime"},
    {"秋季 星期一", "autumnMondayButton", "qjtime"}, {"秋季 星期2--4", "autumnWeekdaysButton", "zcqjtime"},
    {"星期五", "fridayButton", "fridtime"},          {"春季 考试", "springExamButton", "kscjtime"},
    {"秋季 考试", "autumnExamButton", "ksqjtime"},   {"考试设置", "examScheduleButton", "sjtime"},
    {"星期天", "sundayButton", "sundaytime"},
};

} // namespace

class DataDialogTest : public QObject {
    Q_OBJECT
private slots:
    void opensWithNothingChosenAndSaveAsksForATable();
    void eachButtonShowsItsTable_data();
    void eachButtonShowsItsTable();
    void anEmptyTableShowsItsColumnsAndNoRows();
    void deletingARowAsksAndRenumbers();
    void saveWritesWhatTheListShows();
    void saveWithoutTheDatabaseWritesNothing();
    void aChoiceThatCannotBeReadKeepsTheListAndItsTable_data();
    void aChoiceThatCannotBeReadKeepsTheListAndItsTable();
    void closingWithEditsAsksToSave_data();
    void closingWithEditsAsksToSave();
};

void DataDialogTest::opensWithNothingChosenAndSaveAsksForATable() {
    DataHarness h;
    h.database.insertPlan("cjtime", kThreeRows);
    QCOMPARE(h.dialog->windowTitle(), QString("数据管理"));
    for (auto* button : h.dialog->findChildren<QAbstractButton*>())
        QVERIFY2(!button->isChecked(), qPrintable(button->objectName()));
    QCOMPARE(h.list()->model()->columnCount(), 0);

    h.click("saveButton");
    QCOMPARE(h.prompts.messages.size(), std::size_t{1});
    expectMessage(h.prompts.messages[0], "选择类型!", MessageIcon::Warning);
    QCOMPARE(h.table("cjtime"), kThreeRows);
}

void DataDialogTest::eachButtonShowsItsTable_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("code");
    for (int code = 1; code <= int(std::size(kPlanButtons)); ++code)
        QTest::newRow(kPlanButtons[code - 1].label)
            << kPlanButtons[code - 1].button << kPlanButtons[code - 1].table << code;
}

void DataDialogTest::eachButtonShowsItsTable() {
    QFETCH(QString, button);
    QFETCH(QString, table);
    QFETCH(int, code);
    DataHarness h;
    for (const auto& [label, b, t] : kPlanButtons)
        h.database.insertPlan(
            t, {{"7", "", "08:00", t, "a.mp3", "待完", ""}, {"5", "", "09:00", t, "b.mp3", "待完", ""}});

    // As a screen reader chooses it (the other tests click).
    auto* radio = h.dialog->findChild<QAbstractButton*>(button);
    QCOMPARE(test::accessibleRole(radio), QAccessible::RadioButton);
    QVERIFY(test::doFirstAction(radio));
    QVERIFY(radio->isChecked());
    QCOMPARE(h.dialog->selectedTable(), code);
    // Sequence numbers as stored: loading does not renumber.
    const std::string name = table.toStdString();
    QCOMPARE(h.shown(), (Rows{{"7", "", "08:00", name, "a.mp3", "待完", ""},
                              {"5", "", "09:00", name, "b.mp3", "待完", ""}}));
    QCOMPARE(h.titles(), test::kPlanTitles);
    QVERIFY(h.prompts.messages.empty());
}

void DataDialogTest::anEmptyTableShowsItsColumnsAndNoRows() {
    DataHarness h;
    h.database.insertPlan("cjtime", kThreeRows);
    h.click("springMondayButton");
    QCOMPARE(h.shown().size(), std::size_t{3});
    // 状态 and 备注 on screen beside the others, no sideways scrolling.
    const QString rowsFit = test::columnsDoNotFit(*h.list(), {0, 1, 2, 3, 4, 5});
    QVERIFY2(rowsFit.isEmpty(), qPrintable(rowsFit));

    h.click("sundayButton");
    QCOMPARE(h.titles(), test::kPlanTitles);
    QVERIFY(h.shown().empty());

    // The list look: every title whole in the list's font, 备注 to the right edge.
    const QFontMetrics metrics(h.list()->font());
    QCOMPARE(h.list()->font().pixelSize(), 16);
    for (int c = 0; c < static_cast<int>(test::kPlanTitles.size()); ++c)
        QVERIFY(h.list()->columnWidth(c) > metrics.horizontalAdvance(QString::fromStdString(
                                               test::kPlanTitles[static_cast<std::size_t>(c)])));
    const QString fit = test::columnsDoNotFit(*h.list(), {});
    QVERIFY2(fit.isEmpty(), qPrintable(fit));
}

void DataDialogTest::deletingARowAsksAndRenumbers() {
    DataHarness h;
    h.database.insertPlan("cjtime", kThreeRows);
    h.click("springMondayButton");

    h.prompts.confirmAnswers = {false, true};
    h.doubleClickRow(1);
    QCOMPARE(h.shown().size(), std::size_t{3});
    h.doubleClickRow(1);
    QCOMPARE(h.prompts.questions.size(), std::size_t{2});
    QCOMPARE(h.prompts.questions[1].text, std::string("2 6月7日 08:00:30 上课铃\n\n是否删除?"));
    QCOMPARE(h.prompts.questions[1].caption, std::string("删除"));
    QVERIFY(h.prompts.questions[1].icon == MessageIcon::Question);
    QCOMPARE(h.shown().size(), std::size_t{2});
    QCOMPARE(h.shown()[0][0], std::string("1"));
    QCOMPARE(h.shown()[1][0], std::string("2"));
    QCOMPARE(h.shown()[1][3], std::string("下课铃"));

    // Below the last row: a question about no row, and nothing goes whatever the answer.
    h.prompts.confirmAnswers = {true};
    h.doubleClickAt(QPoint(20, h.list()->viewport()->height() - 5));
    QCOMPARE(h.prompts.questions.back().text, std::string("   \n\n是否删除?"));
    QCOMPARE(h.shown().size(), std::size_t{2});

    // Nothing was written; clicking the checked button again shows the table as stored.
    QCOMPARE(h.table("cjtime"), kThreeRows);
    h.click("springMondayButton");
    QCOMPARE(h.shown(), kThreeRows);
}

void DataDialogTest::saveWritesWhatTheListShows() {
    DataHarness h;
    h.database.insertPlan("cjtime", kThreeRows);
    h.click("springMondayButton");
    h.prompts.confirmAnswers = {true};
    h.doubleClickRow(0);
    h.click("saveButton");
    expectMessage(h.prompts.messages.back(), "已保存!", MessageIcon::Information);
    QCOMPARE(h.table("cjtime"), (Rows{{"1", "6月7日", "08:00:30", "上课铃", "voic/上课", "待完", "语文"},
                                      {"2", "", "08:45", "下课铃", "下课.mp3", "待完", "0"}}));

    // Every row deleted: saving empties the table.
    h.prompts.confirmAnswers = {true, true};
    h.doubleClickRow(0);
    h.doubleClickRow(0);
    QVERIFY(h.shown().empty());
    h.prompts.clear();
    h.click("saveButton");
    QCOMPARE(h.prompts.messages.size(), std::size_t{1});
    expectMessage(h.prompts.messages[0], "已保存!", MessageIcon::Information);
    QVERIFY(h.table("cjtime").empty());
}

void DataDialogTest::saveWithoutTheDatabaseWritesNothing() {
    DataHarness h;
    h.database.insertPlan("cjtime", kThreeRows);
    h.click("springMondayButton");
    const auto moved = h.database.folder() / "moved.mdb";
    std::filesystem::rename(h.database.database(), moved);
    h.click("saveButton");
    QCOMPARE(h.prompts.messages.size(), std::size_t{1});
    expectMessage(h.prompts.messages[0],
                  "找不到数据库: 文件夹 " + h.database.folder().string() +
                      " 中没有 jbase.mdb, 请从备份恢复, 或复制安装的默认数据库 /usr/share/halvix/jbase.mdb "
                      "到此文件夹。",
                  MessageIcon::Critical);
    QVERIFY(!std::filesystem::exists(h.database.database()));
}

void DataDialogTest::aChoiceThatCannotBeReadKeepsTheListAndItsTable_data() {
    QTest::addColumn<bool>("locked");    // locked by another process, or garbage where the file was
    QTest::addColumn<QString>("before"); // what the list shows: a table, an import, nothing
    QTest::newRow("locked, after a table") << true << "table";
    QTest::newRow("garbage, after a table") << false << "table";
    QTest::newRow("garbage, after an import") << false << "import";
    QTest::newRow("garbage, nothing chosen") << false << "nothing";
}

// 保存 may only ever write what the list shows into the table it was read from or imported for:
// a table button whose table cannot be read leaves the previous choice standing.
void DataDialogTest::aChoiceThatCannotBeReadKeepsTheListAndItsTable() {
    QFETCH(bool, locked);
    QFETCH(QString, before);
    DataHarness h;
    const Rows sunday = {{"1", "", "09:00", "周日", "s.mp3", "待完", ""}};
    h.database.insertPlan("cjtime", kThreeRows);
    h.database.insertPlan("sundaytime", sunday);
    const auto file = h.database.temp().write("in.csv", "9,,08:00,导入,i.mp3,待完,\r\n");
    if (before != "nothing")
        h.click("springMondayButton");
    if (before == "import") {
        h.prompts.openAnswers = {QString::fromStdString(file.string())};
        h.click("importButton");
    }
    const Rows shownBefore = h.shown();
    const int tableBefore = h.dialog->selectedTable();

    const std::string stored = test::readFile(h.database.database());
    {
        std::unique_ptr<test::LockingProcess> lock;
        if (locked) {
            lock = std::make_unique<test::LockingProcess>(h.database.database());
            QVERIFY(lock->locked());
        } else {
            h.database.temp().write("jbase.mdb", test::notADatabase());
        }
        h.prompts.clear();
        h.click("sundayButton");
        QVERIFY2(!h.prompts.messages.empty(), "the failure is shown");
    }
    h.database.temp().write("jbase.mdb", stored);

    QCOMPARE(h.dialog->selectedTable(), tableBefore);
    QCOMPARE(h.shown(), shownBefore);
    auto* sundayButton = h.dialog->findChild<QAbstractButton*>("sundayButton");
    QVERIFY(!sundayButton->isChecked());
    auto* mondayButton = h.dialog->findChild<QAbstractButton*>("springMondayButton");
    QCOMPARE(mondayButton->isChecked(), before != "nothing");

    h.prompts.clear();
    h.click("saveButton");
    QCOMPARE(h.table("sundaytime"), sunday);
    if (before == "nothing") {
        expectMessage(h.prompts.messages.back(), "选择类型!", MessageIcon::Warning);
        QCOMPARE(h.table("cjtime"), kThreeRows);
    } else {
        expectMessage(h.prompts.messages.back(), "已保存!", MessageIcon::Information);
        QCOMPARE(h.table("cjtime"),
                 before == "table" ? kThreeRows : (Rows{{"1", "", "08:00", "导入", "i.mp3", "待完", ""}}));
    }
}

QTEST_MAIN(DataDialogTest)
#include "DataDialogTest.moc"

// Esc, Enter and the close box with rows not saved ask 保存, 放弃 or 取消; without changes (none made,
// or all saved) the dialog closes at once.
void DataDialogTest::closingWithEditsAsksToSave_data() {
    QTest::addColumn<int>("how");    // 0 Esc, 1 Enter, 2 close box
    QTest::addColumn<int>("edit");   // 0 none, 1 a row deleted, 2 a row deleted and saved
    QTest::addColumn<int>("answer"); // -1 nothing asked, else a UserPrompts::SaveAnswer
    const char* const ways[] = {"Esc", "Enter", "close box"};
    const struct {
        const char* name;
        int edit, answer;
    } rows[] = {{"no change", 0, -1},
                {"saved", 2, -1},
                {"保存", 1, int(UserPrompts::SaveAnswer::Save)},
                {"放弃", 1, int(UserPrompts::SaveAnswer::Discard)},
                {"取消", 1, int(UserPrompts::SaveAnswer::Cancel)}};
    for (int how = 0; how < 3; ++how)
        for (const auto& r : rows)
            QTest::addRow("%s, %s", ways[how], r.name) << how << r.edit << r.answer;
}

void DataDialogTest::closingWithEditsAsksToSave() {
    QFETCH(int, how);
    QFETCH(int, edit);
    QFETCH(int, answer);
    DataHarness h;
    h.database.insertPlan("cjtime", kThreeRows);
    h.click("springMondayButton");
    const Rows oneDeleted = {{"1", "6月7日", "08:00:30", "上课铃", "voic/上课", "待完", "语文"},
                             {"2", "", "08:45", "下课铃", "下课.mp3", "待完", "0"}};
    if (edit > 0) {
        h.prompts.confirmAnswers = {true};
        h.doubleClickRow(0);
    }
    if (edit == 2)
        h.click("saveButton");
    h.prompts.clear();
    if (answer >= 0)
        h.prompts.askToSaveAnswers = {UserPrompts::SaveAnswer(answer)};

    if (how == 2)
        h.dialog->close();
    else
        QTest::keyClick(h.list(), how == 0 ? Qt::Key_Escape : Qt::Key_Return);

    const bool stays = answer == int(UserPrompts::SaveAnswer::Cancel);
    QCOMPARE(h.dialog->isVisible(), stays);
    if (answer < 0) {
        QVERIFY(h.prompts.questions.empty());
    } else {
        QCOMPARE(h.prompts.questionTexts(), std::vector<std::string>{"数据已修改但尚未保存。\n是否保存?"});
        QCOMPARE(h.prompts.questions[0].caption, std::string("数据管理"));
    }
    const bool saved = edit == 2 || answer == int(UserPrompts::SaveAnswer::Save);
    QCOMPARE(h.table("cjtime"), saved ? oneDeleted : kThreeRows);
    QCOMPARE(h.shown(), edit > 0 ? oneDeleted : kThreeRows); // 取消 keeps the edits on the screen
    QCOMPARE(h.dialog->unsavedChanges(), edit == 1 && !saved);
}
