#include "store/ScheduleDatabase.h"

#include "common/PathText.h"
#include "store/TableCatalogue.h"
#include "support/PlanTitles.h"
#include "support/RecordingSink.h"
#include "support/ScheduleFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <unistd.h>

namespace halvix {
namespace {

using test::RecordingSink;
using test::ScheduleFixture;

const TextList kTwoRows = {"1", "", "08:00", "上课", "上课.mp3", "待完", "",
                           "2", "", "08:45", "下课", "下课.mp3", "待完", ""};

// A database file made from the default tables, and the object that works on it (not yet open).
class ScheduleDatabaseFile : public ::testing::Test {
protected:
    ScheduleFixture fx;
    RecordingSink sink;
    ScheduleDatabase db{fx.folder(), sink};
};

TEST_F(ScheduleDatabaseFile, ReadsFieldsAsTextByStorageClass) {
    fx.run("create table kinds (a, b, c, d, e, f);"
           "insert into kinds values (NULL, 42, -7.25, '上课', x'41420043', '');"
           "insert into kinds values (9223372036854775807, 1234.5, 0.1, ' x ', x'', NULL);");
    db.open();
    TextList names, values;
    ASSERT_TRUE(db.query(names, values, "select * from kinds"));
    EXPECT_EQ(names, (TextList{"a", "b", "c", "d", "e", "f"}));
    EXPECT_EQ(values, (TextList{"0", "42", "-7.25", "上课", std::string("AB\0C", 4), "",
                                "9223372036854775807", "1234.5", "0.1", " x ", "", "0"}));
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(ScheduleDatabaseFile, QueryAndLoadTableOnEmptyAndFilledTables) {
    db.open();

    TextList names{"kept"}, values{"stale"};
    EXPECT_FALSE(db.query(names, values, "select * from cjtime"));
    EXPECT_EQ(names, TextList{"kept"}) << "no rows leaves the names as they were";
    EXPECT_TRUE(values.empty());

    TextList tableNames, tableValues{"untouched"};
    EXPECT_FALSE(db.loadTable("cjtime", tableNames, tableValues));
    EXPECT_EQ(tableNames.size(), 7u) << "an empty table still tells its columns";
    EXPECT_EQ(tableValues, TextList{"untouched"});

    ASSERT_TRUE(db.replaceRows("cjtime", 7, kTwoRows));
    ASSERT_TRUE(db.loadTable("cjtime", tableNames, tableValues));
    EXPECT_EQ(tableNames, test::kPlanTitles);
    EXPECT_EQ(tableValues, kTwoRows);
    EXPECT_FALSE(db.query(names, values, "")) << "an empty query text is no query";
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(ScheduleDatabaseFile, PlanRowsComeInTimeTextOrder) {
    fx.insertPlan("zccjtime", {{"1", "", "08:00:30", "b", "b.mp3", "待完", ""},
                               {"2", "", "08:00", "a", "a.mp3", "待完", ""},
                               {"3", "", "07:55", "c", "c.mp3", "待完", ""}});
    TextList names, values;
    ASSERT_TRUE(db.query(names, values, sql::dailyPlan("zccjtime"))) << "an unopened object opens itself";
    EXPECT_EQ(values[2], "07:55");
    EXPECT_EQ(values[9], "08:00");
    EXPECT_EQ(values[16], "08:00:30");
}

TEST_F(ScheduleDatabaseFile, ReplaceRowsWritesByPositionAndOnlyWhenGivenRows) {
    db.open();
    EXPECT_FALSE(db.replaceRows("lxtime", 1, {})) << "an empty list changes nothing";
    EXPECT_EQ(fx.rows("select * from lxtime"), (std::vector<std::vector<std::string>>{{"1"}}));

    ASSERT_TRUE(db.replaceRows("lxtime", 1, {"2"}));
    EXPECT_EQ(fx.rows("select * from lxtime"), (std::vector<std::vector<std::string>>{{"2"}}));

    ASSERT_TRUE(db.replaceRows("sjtime", 7, kTwoRows));
    auto rows = fx.rows("select * from sjtime");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], (std::vector<std::string>{"2", "", "08:45", "下课", "下课.mp3", "待完", ""}));

    // Fewer values than columns: the remaining columns stay NULL and read back as "0".
    fx.run("create table wide (a TEXT, b TEXT, c TEXT)");
    ASSERT_TRUE(db.replaceRows("wide", 2, {"x", "y"}));
    TextList names, values;
    ASSERT_TRUE(db.query(names, values, "select * from wide"));
    EXPECT_EQ(values, (TextList{"x", "y", "0"}));
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(ScheduleDatabaseFile, AFailedRewriteKeepsEveryOldRow) {
    fx.insertPlan("cjtime", {{"1", "", "07:30", "早读", "早读.mp3", "待完", ""},
                             {"2", "", "08:00", "上课", "上课.mp3", "待完", ""}});
    // The third new row is refused by the database after two were written.
    fx.run("create trigger refuse before insert on cjtime when new.事件 = 'boom' "
           "begin select raise(abort, 'row refused'); end;");
    const auto before = fx.rows("select * from cjtime");

    db.open();
    TextList values = kTwoRows;
    for (const char* cell : {"3", "", "09:00", "boom", "x.mp3", "待完", ""})
        values.push_back(cell);
    EXPECT_FALSE(db.replaceRows("cjtime", 7, values));
    EXPECT_EQ(fx.rows("select * from cjtime"), before);
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_NE(sink.messages[0].text.find("row refused"), std::string::npos);
    EXPECT_EQ(sink.messages[1].text, "数据保存失败!");
    EXPECT_EQ(sink.messages[1].icon, MessageIcon::Critical);

    // The same object goes on working after the failure.
    EXPECT_TRUE(db.replaceRows("cjtime", 7, kTwoRows));
    EXPECT_EQ(fx.rows("select count(*) from cjtime"), (std::vector<std::vector<std::string>>{{"2"}}));
}

TEST_F(ScheduleDatabaseFile, WritingMoreColumnsThanTheTableHasFailsAndKeepsRows) {
    fx.run("create table narrow (a TEXT, b TEXT); insert into narrow values ('old', 'row');");
    db.open();
    EXPECT_FALSE(db.replaceRows("narrow", 7, kTwoRows));
    EXPECT_EQ(fx.rows("select * from narrow"), (std::vector<std::vector<std::string>>{{"old", "row"}}));
    EXPECT_TRUE(sink.saw("数据保存失败!"));
}

TEST_F(ScheduleDatabaseFile, ClearTableEmptiesInOneStep) {
    fx.insertPlan("fridtime", {{"1", "", "07:30", "早读", "早读.mp3", "待完", ""}});
    db.open();
    EXPECT_TRUE(db.clearTable("fridtime"));
    EXPECT_TRUE(fx.rows("select * from fridtime").empty());
    EXPECT_FALSE(db.clearTable("no_such_table"));
    EXPECT_TRUE(sink.saw("数据保存失败!"));
}

TEST_F(ScheduleDatabaseFile, MissingTableIsReportedNotThrown) {
    db.open();
    TextList names, values;
    EXPECT_FALSE(db.query(names, values, "select * from nothere"));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_NE(sink.messages[0].text.find("nothere"), std::string::npos);
    // A failed query closes the object; later work fails instead of reopening behind the user's back.
    EXPECT_FALSE(db.isOpen());
    EXPECT_FALSE(db.execute("select 1"));
    EXPECT_FALSE(db.replaceRows("lxtime", 1, {"2"}));
    EXPECT_EQ(fx.rows("select * from lxtime"), (std::vector<std::vector<std::string>>{{"1"}}));
}

TEST(ScheduleDatabase, UnusableFilesGiveAMessageAndFalseResults) {
    struct Case {
        const char* what;
        std::string bytes; // empty: no file at all
    };
    std::mt19937 random(7);
    std::string noise(8192, '\0');
    for (char& c : noise)
        c = static_cast<char>(random() & 0xff);
    for (const Case& c : {Case{"missing", ""}, Case{"random bytes", noise}, Case{"text", "这不是数据库\n"}}) {
        test::TempFolder folder;
        if (!c.bytes.empty())
            folder.write("jbase.mdb", c.bytes);
        RecordingSink sink;
        {
            ScheduleDatabase db(folder.path(), sink);
            EXPECT_EQ(db.databaseMissing(), c.bytes.empty()) << c.what;
            db.open();
            EXPECT_FALSE(db.isOpen()) << c.what;
            TextList names, values;
            EXPECT_FALSE(db.loadTable("cjtime", names, values)) << c.what;
            EXPECT_FALSE(db.replaceRows("cjtime", 1, {"x"})) << c.what;
            EXPECT_FALSE(db.execute("create table t (a)")) << c.what;
            db.close();
            db.close();
        }
        ASSERT_FALSE(sink.messages.empty()) << c.what;
        EXPECT_NE(sink.messages[0].text.find("jbase.mdb"), std::string::npos) << c.what;
        EXPECT_TRUE(sink.saw("数据保存失败!")) << c.what;
        // Never creates or changes the file.
        if (c.bytes.empty())
            EXPECT_FALSE(std::filesystem::exists(folder / "jbase.mdb")) << c.what;
        else
            EXPECT_EQ(test::readFile(folder / "jbase.mdb"), c.bytes) << c.what;
    }
}

TEST_F(ScheduleDatabaseFile, ReadOnlyFileReadsButRefusesWrites) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "file permissions do not bind the superuser";
    std::filesystem::permissions(fx.database(),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    db.open();
    TextList names, values;
    EXPECT_TRUE(db.query(names, values, "select * from lxtime"));
    EXPECT_FALSE(db.replaceRows("lxtime", 1, {"2"}));
    EXPECT_TRUE(sink.saw("数据保存失败!"));
}

TEST_F(ScheduleDatabaseFile, ReadOnlyConnectionRefusesWritesEvenForTheSuperuser) {
    // A connection that may only read stands in for a write-protected file when tests run as root.
    db.open();
    ASSERT_TRUE(db.execute("pragma query_only = 1"));
    EXPECT_FALSE(db.replaceRows("lxtime", 1, {"2"}));
    EXPECT_EQ(fx.rows("select * from lxtime"), (std::vector<std::vector<std::string>>{{"1"}}));
    EXPECT_TRUE(sink.saw("数据保存失败!"));
}

TEST(ScheduleDatabase, DatabaseMissingComparesTheExactName) {
    test::TempFolder folder;
    RecordingSink sink;
    ScheduleDatabase db(folder.path(), sink);
    EXPECT_TRUE(db.databaseMissing());
    folder.write("JBASE.MDB", "x");
    folder.write("jbase.mdb.bak", "x");
    EXPECT_TRUE(db.databaseMissing()) << "another case or a longer name is not the database";
    folder.write("jbase.mdb", "x");
    EXPECT_FALSE(db.databaseMissing());
    ScheduleDatabase nowhere(folder / "no-such-folder", sink);
    EXPECT_TRUE(nowhere.databaseMissing());
}

// Program folders are where the user puts them: under names in Chinese, with blanks, on any
// system. SQLite takes UTF-8 names, also where the system's narrow code page is another one.
TEST(ScheduleDatabase, AProgramFolderWithAChineseNameOpensLoadsAndSaves) {
    for (const std::string name : {"校园广播", "学校 广播/程序 (二)", "ÄÖ 考试"}) {
        SCOPED_TRACE(name);
        ScheduleFixture fx;
        fx.insertPlan("cjtime", {{"1", "", "08:00", "上课", "上课.mp3", "待完", ""}});
        test::TempFolder parent;
        const std::filesystem::path folder = parent.path() / pathFromUtf8(name);
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(fx.database(), folder / ScheduleDatabase::kFileName);
        EXPECT_EQ(pathToUtf8(folder), pathToUtf8(parent.path()) + "/" + name);

        RecordingSink sink;
        ScheduleDatabase db(folder, sink);
        EXPECT_FALSE(db.databaseMissing());
        db.open();
        ASSERT_TRUE(db.isOpen()) << (sink.messages.empty() ? "" : sink.messages[0].text);
        TextList names, values;
        ASSERT_TRUE(db.loadTable("cjtime", names, values));
        EXPECT_EQ(values, (TextList{"1", "", "08:00", "上课", "上课.mp3", "待完", ""}));
        EXPECT_TRUE(db.replaceRows("zccjtime", kPlanColumnCount, kTwoRows));
        db.close();
        EXPECT_TRUE(sink.messages.empty());

        // The rows went into the database in that folder, and no other file was made.
        ScheduleDatabase again(folder, sink);
        ASSERT_TRUE(again.query(names, values, "select * from zccjtime"));
        EXPECT_EQ(values, kTwoRows);
        EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(parent.path()),
                                std::filesystem::recursive_directory_iterator()),
                  std::ptrdiff_t(name.find('/') == std::string::npos ? 2 : 3));
    }
}

TEST_F(ScheduleDatabaseFile, Execute) {
    db.open();
    EXPECT_TRUE(db.execute("create table if not exists calendar (a TEXT)"));
    EXPECT_FALSE(db.execute("this is not sql"));
    EXPECT_TRUE(sink.messages.empty()) << "execute reports through its result only";
}

TEST(TableCatalogue, QueryTextsAreExact) {
    EXPECT_EQ(sql::dailyPlan("cjtime"), "select * from cjtime order by 时间 ASC");
    EXPECT_EQ(
        sql::examDayPlan(1, dateText(6, 7)),
        "select * from sjtime where 日期='6月7日'  union all select * from kscjtime  order by 时间 ASC");
    EXPECT_EQ(
        sql::examDayPlan(2, dateText(12, 25)),
        "select * from sjtime where 日期='12月25日'  union all select * from ksqjtime  order by 时间 ASC");
    EXPECT_EQ(sql::selectAll("settable"), "select * from settable");
    EXPECT_EQ(planTableName(8), "sjtime");
    EXPECT_EQ(planTableName(0), "");
    EXPECT_EQ(planTableName(10), "");
}

TEST(TableCatalogue, EveryQueryRunsOnTheTwelveTables) {
    ScheduleFixture fx;
    fx.insertPlan("sjtime", {{"1", "6月7日", "08:47", "组织进入考场", "h01组织进入考场.mp3", "待完", "英语"},
                             {"2", "06月07日", "08:48", "x", "x.mp3", "待完", ""}});
    fx.insertPlan("kscjtime", {{"1", "", "07:00", "起床", "起床.mp3", "待完", ""}});
    RecordingSink sink;
    ScheduleDatabase db(fx.folder(), sink);
    db.open();
    for (const auto& info : planTables()) {
        TextList names, values;
        db.query(names, values, sql::dailyPlan(info.table));
    }
    TextList names, values;
    ASSERT_TRUE(db.query(names, values, sql::examDayPlan(1, dateText(6, 7))));
    ASSERT_EQ(values.size(), 14u) << "only the row dated 6月7日 joins the fixed exam rows";
    EXPECT_EQ(values[2], "07:00");
    EXPECT_EQ(values[9], "08:47");
    EXPECT_TRUE(sink.messages.empty());
}

} // namespace
} // namespace halvix
