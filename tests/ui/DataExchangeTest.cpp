// The data dialog's CSV export and import, in code page 936.

#include "editing/DataDialog.h"

#include "support/DataHarness.h"

#include <QtTest>
#include <string>

using namespace halvix;
using namespace halvix::test;

namespace {

// Title line of an exported plan table, in code page 936.
const std::string kTitleLine = "\xD0\xF2\xBA\xC5,\xC8\xD5\xC6\xDA,\xCA\xB1\xBC\xE4,\xCA\xC2\xBC\xFE,"
                               "\xC9\xF9\xD2\xF4,\xD7\xB4\xCC\xAC,\xB1\xB8\xD7\xA2,\r\n";

} // namespace

class DataExchangeTest : public QObject {
    Q_OBJECT
private slots:
    void exportWritesTitlesAndRowsInCodePage936();
    void exportReportsAFileItCannotWrite();
    void importShowsTheFileWithoutChangingTheChosenTable();
    void exportImportSaveKeepsEveryRow();
};

void DataExchangeTest::exportWritesTitlesAndRowsInCodePage936() {
    DataHarness h;
    h.database.insertPlan(
        "cjtime", {{"a", "b", "c", "d", "e", "f", "g"}, {"1", "", "08:00", "上课铃", "x", "待完", ""}});
    h.click("springMondayButton");
    h.prompts.saveAnswers = {h.path("plan.csv")};
    h.click("exportButton");
    QCOMPARE(h.prompts.saveDialogs.size(), std::size_t{1});
    QCOMPARE(h.prompts.saveDialogs[0].filter, QString("CSV 文件 (*.csv)"));
    QCOMPARE(h.prompts.saveDialogs[0].defaultSuffix, QString("csv"));
    QCOMPARE(h.prompts.saveDialogs[0].initialName, QString("*.csv"));
    expectMessage(h.prompts.messages.back(), "已导出" + h.path("plan.csv").toStdString(),
                  MessageIcon::Information);
    QCOMPARE(test::readFile(h.database.folder() / "plan.csv"),
             kTitleLine + "a,b,c,d,e,f,g,\r\n1,,08:00,\xC9\xCF\xBF\xCE\xC1\xE5,x,\xB4\xFD\xCD\xEA,,\r\n");

    // An empty list: the title line alone.
    h.click("sundayButton");
    h.prompts.saveAnswers = {h.path("empty.csv")};
    h.click("exportButton");
    QCOMPARE(test::readFile(h.database.folder() / "empty.csv"), kTitleLine);

    // A cancelled dialog writes and says nothing.
    h.prompts.clear();
    h.click("exportButton");
    QCOMPARE(h.prompts.saveDialogs.size(), std::size_t{1});
    QVERIFY(h.prompts.messages.empty());
}

void DataExchangeTest::exportReportsAFileItCannotWrite() {
    DataHarness h;
    h.click("springMondayButton");
    const QString path = h.path("no such folder/plan.csv");
    h.prompts.saveAnswers = {path};
    h.click("exportButton");
    QCOMPARE(h.prompts.messages.size(), std::size_t{1});
    expectMessage(h.prompts.messages[0], "无法写入 " + path.toStdString(), MessageIcon::Critical);
}

void DataExchangeTest::importShowsTheFileWithoutChangingTheChosenTable() {
    DataHarness h;
    // Code page 936; a line without a comma is skipped, the last line has no line end.
    const auto file =
        h.database.temp().write("in.csv", "n,\xCA\xB1\xBC\xE4\r\n9,08:00\r\nlonely\r\n9,\xB4\xFD\xCD\xEA");

    // With no table chosen the imported list cannot be saved.
    h.prompts.openAnswers = {QString::fromStdString(file.string())};
    h.click("importButton");
    QCOMPARE(h.prompts.openDialogs[0].filter, QString("CSV 文件 (*.csv);;所有文件 (*)"));
    QCOMPARE(h.titles(), (TextList{"n", "时间"}));
    QCOMPARE(h.shown(), (Rows{{"1", "08:00"}, {"2", "待完"}}));
    h.click("saveButton");
    expectMessage(h.prompts.messages.back(), "选择类型!", MessageIcon::Warning);

    h.click("fridayButton");
    h.prompts.openAnswers = {QString::fromStdString(file.string())};
    h.click("importButton");
    QCOMPARE(h.dialog->selectedTable(), 5);
    h.click("saveButton");
    expectMessage(h.prompts.messages.back(), "已保存!", MessageIcon::Information);
    QCOMPARE(h.table("fridtime"),
             (Rows{{"1", "08:00", "", "", "", "", ""}, {"2", "待完", "", "", "", "", ""}}));

    // A cancelled or unreadable import keeps the list; only the numbers are renewed.
    h.prompts.clear();
    h.click("importButton");
    QCOMPARE(h.shown(), (Rows{{"1", "08:00"}, {"2", "待完"}}));
    QVERIFY(h.prompts.messages.empty());
    h.prompts.openAnswers = {h.path("absent.csv")};
    h.click("importButton");
    expectMessage(h.prompts.messages.back(), "无法读取 " + h.path("absent.csv").toStdString(),
                  MessageIcon::Critical);
    QCOMPARE(h.shown().size(), std::size_t{2});
}

void DataExchangeTest::exportImportSaveKeepsEveryRow() {
    DataHarness h;
    h.database.insertPlan("cjtime", kThreeRows);
    h.database.insertPlan("qjtime", {{"1", "", "12:00", "old", "old.mp3", "待完", ""}});
    h.click("springMondayButton");
    h.prompts.saveAnswers = {h.path("spring.csv")};
    h.click("exportButton");

    h.click("autumnMondayButton");
    h.prompts.openAnswers = {h.path("spring.csv")};
    h.click("importButton");
    h.click("saveButton");
    expectMessage(h.prompts.messages.back(), "已保存!", MessageIcon::Information);
    QCOMPARE(h.table("qjtime"), kThreeRows);
    QCOMPARE(h.prompts.unscripted, 0);
}

QTEST_MAIN(DataExchangeTest)
#include "DataExchangeTest.moc"
