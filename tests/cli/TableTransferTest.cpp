// Plan tables and the calendar to and from CSV files: every line is checked before the table
// changes, a bad file names its first bad line and leaves the table as it was.
#include "cli/TableTransfer.h"
#include "editing/TextCodec.h"
#include "support/RecordingSink.h"
#include "support/ScheduleFixture.h"

#include <gtest/gtest.h>

namespace halvix {
namespace {

using Rows = std::vector<std::vector<std::string>>;

const std::string kTitles = "序号,日期,时间,事件,声音,状态,备注,\r\n";
constexpr ImportRows kOne = ImportRows::AtLeastOne;

TEST(TableTransfer, ABadFifthLineLeavesTheTableAndAGoodFileReplacesIt) {
    test::ScheduleFixture fx;
    test::RecordingSink sink;
    fx.run("insert into fridtime values ('1','星期五','08:00','上课','上课.mp3','待完','');");
    const Rows before = fx.rows("select * from fridtime");
    std::string good = kTitles;
    // A spreadsheet writes 07:00 as 7:00; the table holds what the bell reads.
    for (const char* time : {"7:00", "07:30", "8:00:30", "09:00"})
        good += std::string("1,星期五,") + time + ",事件,下课.mp3,待完,,\r\n";
    const auto bad =
        fx.temp().write("bad.csv", utf8ToGb18030(good + "5,星期五,9点,事件,下课.mp3,待完,,\r\n"));
    std::string error;
    int rows = -1;
    EXPECT_FALSE(importTable(fx.folder(), "fridtime", bad, kOne, sink, error, rows));
    EXPECT_NE(error.find("第6行: 时间无效: \"9点\""), std::string::npos) << error; // the title is line 1
    EXPECT_EQ(fx.rows("select * from fridtime"), before);

    const auto file = fx.temp().write("good.csv", utf8ToGb18030(good));
    ASSERT_TRUE(importTable(fx.folder(), "fridtime", file, kOne, sink, error, rows)) << error;
    EXPECT_EQ(rows, 4);
    EXPECT_EQ(fx.rows("select 序号, 时间 from fridtime"),
              (Rows{{"1", "07:00"}, {"2", "07:30"}, {"3", "08:00:30"}, {"4", "09:00"}}));

    // What export writes, import reads back unchanged (a note with a comma included).
    fx.run("update fridtime set 备注 = '广播体操,播放文件夹' where 序号 = '2'");
    const Rows stored = fx.rows("select * from fridtime");
    const auto exported = fx.temp() / "out.csv";
    ASSERT_TRUE(exportTable(fx.folder(), "fridtime", exported, sink, error)) << error;
    fx.run("delete from fridtime");
    ASSERT_TRUE(importTable(fx.folder(), "fridtime", exported, kOne, sink, error, rows)) << error;
    EXPECT_EQ(fx.rows("select * from fridtime"), stored);
}

TEST(TableTransfer, FilesAndTablesThatCannotServe) {
    test::ScheduleFixture fx;
    test::RecordingSink sink;
    fx.run("insert into zccjtime values ('1','','08:00','上课','上课.mp3','待完','');");
    const Rows before = fx.rows("select * from zccjtime");
    const struct {
        std::string bytes;
        std::string error;
    } cases[] = {
        {kTitles + "1,,08:00,a,b.mp3,待完,,\r\n1,,08:00,a\r\n", "第3行: 应有7列"},
        // the first line is a row unless it reads as the titles
        {"1,,8:5,a,b.mp3,待完,,\r\n", "第1行: 时间无效"},
        {"序号,日期,时刻,事件,声音,状态,备注,\r\n1,,08:00,a,b.mp3,待完,\r\n", "第1行: 时间无效: \"时刻\""},
    };
    for (const auto& c : cases) {
        const auto file = fx.temp().write("in.csv", utf8ToGb18030(c.bytes));
        std::string error;
        int rows = 0;
        EXPECT_FALSE(importTable(fx.folder(), "zccjtime", file, kOne, sink, error, rows));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(fx.rows("select * from zccjtime"), before);
    }
    std::string error;
    int rows = 0;
    EXPECT_FALSE(importTable(fx.folder(), "zccjtime", fx.temp() / "missing.csv", kOne, sink, error, rows));
    EXPECT_NE(error.find("无法读取"), std::string::npos) << error;

    EXPECT_TRUE(isTransferTable("sjtime"));
    EXPECT_TRUE(isTransferTable("calendar"));
    EXPECT_FALSE(isTransferTable("lxtime")); // not a table of the data dialog
    EXPECT_FALSE(isTransferTable("zccjtime; drop table zccjtime"));

    test::TempFolder empty;
    EXPECT_FALSE(exportTable(empty.path(), "zccjtime", empty / "x.csv", sink, error));
    EXPECT_TRUE(error.starts_with("找不到数据库: 文件夹 " + empty.path().string() + " 中没有 jbase.mdb"))
        << error;
    EXPECT_FALSE(std::filesystem::exists(empty / "jbase.mdb")) << "a missing database is not made";
}

TEST(TableTransfer, TheCalendarGoesThroughItsOwnFileForm) {
    test::ScheduleFixture fx;
    test::RecordingSink sink;
    const auto file = fx.temp().write(
        "cal.csv",
        utf8ToGb18030("开始日期,结束日期,类型,参数,备注,\r\n2025-10-01,2025-10-07,停铃,,国庆节,\r\n"
                      "2025-09-28,2025-09-28,调休,1,补国庆,\r\n"));
    std::string error;
    int rows = 0;
    ASSERT_TRUE(importTable(fx.folder(), "calendar", file, kOne, sink, error, rows)) << error;
    EXPECT_EQ(rows, 2);
    const auto bad = fx.temp().write(
        "bad.csv", "2025-10-01,2025-10-07,停铃,,国庆节,\r\n2025-10-08,2025-10-07,停铃,,,\r\n");
    EXPECT_FALSE(importTable(fx.folder(), "calendar", bad, kOne, sink, error, rows));
    EXPECT_NE(error.find("第2行"), std::string::npos) << error;
    EXPECT_EQ(fx.rows("select count(*) from calendar"), (Rows{{"2"}}));

    const auto out = fx.temp() / "out.csv";
    ASSERT_TRUE(exportTable(fx.folder(), "calendar", out, sink, error)) << error;
    EXPECT_EQ(test::readFile(out), test::readFile(file));
}

TEST(TableTransfer, AFileWithoutRowsEmptiesATableOnlyWhenAskedTo) {
    const std::string calendarTitles = "开始日期,结束日期,类型,参数,备注,\r\n";
    const struct {
        const char* table;
        std::string bytes;
    } cases[] = {
        {"zccjtime", ""}, {"zccjtime", "\r\n \r\n\n"}, {"zccjtime", kTitles},
        {"calendar", ""}, {"calendar", "\r\n\r\n"},    {"calendar", calendarTitles + "\r\n"},
    };
    for (const auto& c : cases) {
        test::ScheduleFixture fx;
        test::RecordingSink sink;
        fx.run("create table if not exists calendar (开始日期 TEXT, 结束日期 TEXT, 类型 TEXT, 参数 TEXT, "
               "备注 TEXT);"
               "insert into calendar values ('2025-10-01','2025-10-07','停铃','','国庆节');"
               "insert into zccjtime values ('1','','08:00','上课','上课.mp3','待完','');");
        const std::string count = std::string("select count(*) from ") + c.table;
        const auto file = fx.temp().write("empty.csv", utf8ToGb18030(c.bytes));
        std::string error;
        int rows = -1;
        EXPECT_FALSE(importTable(fx.folder(), c.table, file, kOne, sink, error, rows)) << c.table;
        EXPECT_NE(error.find("文件中没有任何行; 若要清空此表, 请加 --empty"), std::string::npos) << error;
        EXPECT_EQ(fx.rows(count), (Rows{{"1"}})) << c.table << " kept its row";

        ASSERT_TRUE(importTable(fx.folder(), c.table, file, ImportRows::MayBeNone, sink, error, rows))
            << error;
        EXPECT_EQ(rows, 0);
        EXPECT_EQ(fx.rows(count), (Rows{{"0"}})) << c.table << " emptied on request";
    }
}

} // namespace
} // namespace halvix
