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

TEST(TableTransfer, EveryLineIsCheckedAndTheFirstBadOneIsNamed) {
    const struct {
        std::vector<TextList> lines;
        std::string error; // empty: the lines read
        TextList cells;
    } cases[] = {
        {{{"序号"}}, "", {}},
        {{{"t"}, {"9", "", "08:00", "上课", "上课.mp3", "待完", "", ""}},
         "",
         {"1", "", "08:00", "上课", "上课.mp3", "待完", ""}},
        // a note with commas is the rest of the line; blank lines are skipped; numbers renewed
        {{{"t"},
          {},
          {"7", "星期三", "09:35:30", "操", "voic\\课间操", "待完", "广播体操", "播放文件夹", ""},
          {" ", ""},
          {"3", "", "23:59", "x", "y.mp3", "完成", "n"}},
         "",
         {"1", "星期三", "09:35:30", "操", "voic\\课间操", "待完", "广播体操,播放文件夹", "2", "", "23:59",
          "x", "y.mp3", "完成", "n"}},
        {{{"t"}, {"1", "", "08:00", "上课", "上课.mp3", "待完"}},
         "第2行: 应有7列 (序号,日期,时间,事件,声音,状态,备注), 此行只有6列",
         {}},
        {{{"t"}, {}, {"1", "", "8:00", "a", "b.mp3", "待完", ""}},
         "第3行: 时间无效: \"8:00\" (应为 HH:MM 或 HH:MM:SS)",
         {}},
        {{{"t"}, {"1", "", "24:00", "a", "b.mp3", "待完", ""}},
         "第2行: 时间无效: \"24:00\" (应为 HH:MM 或 HH:MM:SS)",
         {}},
        {{{"t"}, {"1", "", "08:60", "a", "b.mp3", "待完", ""}},
         "第2行: 时间无效: \"08:60\" (应为 HH:MM 或 HH:MM:SS)",
         {}},
        {{{"t"}, {"1", "", "", "a", "b.mp3", "待完", ""}},
         "第2行: 时间无效: \"\" (应为 HH:MM 或 HH:MM:SS)",
         {}},
        {{{"t"}, {"只有一格"}}, "第2行: 应有7列 (序号,日期,时间,事件,声音,状态,备注), 此行只有1列", {}},
        // a sound that leads out of voic is refused, not stored to ring nothing
        {{{"t"},
          {"1", "", "08:00", "a", "b.mp3", "待完", ""},
          {"2", "", "09:00", "a", "../outside", "待完", ""}},
         "第3行: 声音 \"../outside\" 含有 \"..\", 只能是 voic 中的文件或文件夹",
         {}},
        {{{"t"}, {"1", "", "08:00", "a", "/tmp/x.mp3", "待完", ""}},
         "第2行: 声音 \"/tmp/x.mp3\" 是绝对路径, 只能是 voic 中的文件或文件夹",
         {}},
        {{{"t"}, {"1", "", "08:00", "a", "午休", "待完", ""}}, "第2行: 文件夹 \"午休\" 不在 voic 中", {}},
    };
    for (const auto& c : cases) {
        TextList cells{"untouched"};
        std::string error;
        const bool read = readPlanLines(c.lines, cells, error);
        EXPECT_EQ(read, c.error.empty()) << error;
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(cells, read ? c.cells : TextList{"untouched"});
    }
}

TEST(TableTransfer, ABadFifthLineLeavesTheTableAndAGoodFileReplacesIt) {
    test::ScheduleFixture fx;
    test::RecordingSink sink;
    fx.run("insert into fridtime values ('1','星期五','08:00','上课','上课.mp3','待完','');");
    const Rows before = fx.rows("select * from fridtime");
    std::string good = kTitles;
    for (const char* time : {"07:00", "07:30", "08:00:30", "09:00"})
        good += std::string("1,星期五,") + time + ",事件,下课.mp3,待完,,\r\n";
    const auto bad =
        fx.temp().write("bad.csv", utf8ToGb18030(good + "5,星期五,9点,事件,下课.mp3,待完,,\r\n"));
    std::string error;
    int rows = -1;
    EXPECT_FALSE(importTable(fx.folder(), "fridtime", bad, sink, error, rows));
    EXPECT_NE(error.find("第6行: 时间无效: \"9点\""), std::string::npos) << error; // the title is line 1
    EXPECT_EQ(fx.rows("select * from fridtime"), before);

    const auto file = fx.temp().write("good.csv", utf8ToGb18030(good));
    ASSERT_TRUE(importTable(fx.folder(), "fridtime", file, sink, error, rows)) << error;
    EXPECT_EQ(rows, 4);
    EXPECT_EQ(fx.rows("select 序号, 时间 from fridtime"),
              (Rows{{"1", "07:00"}, {"2", "07:30"}, {"3", "08:00:30"}, {"4", "09:00"}}));

    // What export writes, import reads back unchanged (a note with a comma included).
    fx.run("update fridtime set 备注 = '广播体操,播放文件夹' where 序号 = '2'");
    const Rows stored = fx.rows("select * from fridtime");
    const auto exported = fx.temp() / "out.csv";
    ASSERT_TRUE(exportTable(fx.folder(), "fridtime", exported, sink, error)) << error;
    fx.run("delete from fridtime");
    ASSERT_TRUE(importTable(fx.folder(), "fridtime", exported, sink, error, rows)) << error;
    EXPECT_EQ(fx.rows("select * from fridtime"), stored);
}

TEST(TableTransfer, FilesAndTablesThatCannotServe) {
    test::ScheduleFixture fx;
    test::RecordingSink sink;
    fx.run("insert into zccjtime values ('1','','08:00','上课','上课.mp3','待完','');");
    const Rows before = fx.rows("select * from zccjtime");
    const struct {
        std::string bytes; // empty name: no file at all
        std::string error;
    } cases[] = {
        {"", "第1行: 应为标题行"},
        {"\r\n1,,08:00,a,b.mp3,待完,,\r\n", "第1行: 应为标题行"},
        {kTitles + "1,,08:00,a,b.mp3,待完,,\r\n1,,08:00,a\r\n", "第3行: 应有7列"},
    };
    for (const auto& c : cases) {
        const auto file = fx.temp().write("in.csv", utf8ToGb18030(c.bytes));
        std::string error;
        int rows = 0;
        EXPECT_FALSE(importTable(fx.folder(), "zccjtime", file, sink, error, rows));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(fx.rows("select * from zccjtime"), before);
    }
    std::string error;
    int rows = 0;
    EXPECT_FALSE(importTable(fx.folder(), "zccjtime", fx.temp() / "missing.csv", sink, error, rows));
    EXPECT_NE(error.find("无法读取"), std::string::npos) << error;

    // A title line alone empties the table, as saving an empty list in the dialog does.
    const auto titles = fx.temp().write("titles.csv", utf8ToGb18030(kTitles));
    ASSERT_TRUE(importTable(fx.folder(), "zccjtime", titles, sink, error, rows)) << error;
    EXPECT_EQ(rows, 0);
    EXPECT_TRUE(fx.rows("select * from zccjtime").empty());

    EXPECT_TRUE(isTransferTable("sjtime"));
    EXPECT_TRUE(isTransferTable("calendar"));
    EXPECT_FALSE(isTransferTable("lxtime")); // not a table of the data dialog
    EXPECT_FALSE(isTransferTable("zccjtime; drop table zccjtime"));

    test::TempFolder empty;
    EXPECT_FALSE(exportTable(empty.path(), "zccjtime", empty / "x.csv", sink, error));
    EXPECT_EQ(error, "数据库没找到!");
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
    ASSERT_TRUE(importTable(fx.folder(), "calendar", file, sink, error, rows)) << error;
    EXPECT_EQ(rows, 2);
    const auto bad = fx.temp().write(
        "bad.csv", "2025-10-01,2025-10-07,停铃,,国庆节,\r\n2025-10-08,2025-10-07,停铃,,,\r\n");
    EXPECT_FALSE(importTable(fx.folder(), "calendar", bad, sink, error, rows));
    EXPECT_NE(error.find("第2行"), std::string::npos) << error;
    EXPECT_EQ(fx.rows("select count(*) from calendar"), (Rows{{"2"}}));

    const auto out = fx.temp() / "out.csv";
    ASSERT_TRUE(exportTable(fx.folder(), "calendar", out, sink, error)) << error;
    EXPECT_EQ(test::readFile(out), test::readFile(file));
}

} // namespace
} // namespace halvix
