// The data dialog's CSV export and import, in code page 936.

#include "editing/window/DataDialog.h"

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
    // Code page 936, no title line: every line is a row; a quoted comma stays in its cell; the last
    // line has no line end.
    const auto file = h.database.temp().write(
        "in.csv", "1,,08:00,\"\xC9\xCF\xBF\xCE,\xB5\xDA\xD2\xBB\xBD\xDA\",x.mp3,\xB4\xFD\xCD\xEA,,\r\n"
                  "\r\n"
                  "7,,09:00,b,y.mp3,\xB4\xFD\xCD\xEA,n");
    const Rows rows = {{"1", "", "08:00", "上课,第一节", "x.mp3", "待完", ""},
                       {"2", "", "09:00", "b", "y.mp3", "待完", "n"}};

    // With no table chosen the imported list cannot be saved.
    h.prompts.openAnswers = {QString::fromStdString(file.string())};
    h.click("importButton");
    QCOMPARE(h.prompts.openDialogs[0].filter, QString("CSV 文件 (*.csv);;所有文件 (*)"));
    QCOMPARE(h.titles(), (TextList{"序号", "日期", "时间", "事件", "声音", "状态", "备注"}));
    QCOMPARE(h.shown(), rows);
    h.click("saveButton");
    expectMessage(h.prompts.messages.back(), "选择类型!", MessageIcon::Warning);

    h.click("fridayButton");
    h.prompts.openAnswers = {QString::fromStdString(file.string())};
    h.click("importButton");
    QCOMPARE(h.dialog->selectedTable(), 5);
    h.click("saveButton");
    expectMessage(h.prompts.messages.back(), "已保存!", MessageIcon::Information);
    QCOMPARE(h.table("fridtime"), rows);

    // A file that does not read as plan rows, line for line, leaves the list as it was.
    const struct {
        const char* name;
        std::string bytes;
        std::string error;
    } refused[] = {
        {"comma.csv", "1,,08:00,a,b.mp3,\xB4\xFD\xCD\xEA,,\r\n2,,09:00,c,d,e.mp3,\xB4\xFD\xCD\xEA,,\r\n",
         "第2行: 应有7列 (序号,日期,时间,事件,声音,状态,备注), 此行有9列"},
        {"short.csv", "1,,08:00,a,b.mp3\r\n",
         "第1行: 应有7列 (序号,日期,时间,事件,声音,状态,备注), 此行有5列"},
        {"time.csv", "1,,8点,a,b.mp3,\xB4\xFD\xCD\xEA,\r\n", "第1行: 时间无效"},
        {"empty.csv", "", "文件中没有任何行。"},
        {"blank.csv", "\r\n \r\n", "文件中没有任何行。"},
        {"titles.csv", kTitleLine, "文件中没有任何行。"},
    };
    for (const auto& c : refused) {
        h.prompts.clear();
        h.prompts.openAnswers = {QString::fromStdString(h.database.temp().write(c.name, c.bytes).string())};
        h.click("importButton");
        QCOMPARE(h.prompts.messages.size(), std::size_t{1});
        const std::string& text = h.prompts.messages[0].text;
        QVERIFY2(text.starts_with("无法导入 " + h.path(c.name).toStdString() + ":\n" + c.error),
                 text.c_str());
        QVERIFY2(text.ends_with("列表未改变。"), text.c_str());
        QCOMPARE(h.shown(), rows);
    }

    // A cancelled or unreadable import keeps the list.
    h.prompts.clear();
    h.click("importButton");
    QCOMPARE(h.shown(), rows);
    QVERIFY(h.prompts.messages.empty());
    h.prompts.openAnswers = {h.path("absent.csv")};
    h.click("importButton");
    expectMessage(h.prompts.messages.back(),
                  "无法导入 " + h.path("absent.csv").toStdString() + ":\n无法读取文件\n列表未改变。",
                  MessageIcon::Warning);
    QCOMPARE(h.shown(), rows);
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
