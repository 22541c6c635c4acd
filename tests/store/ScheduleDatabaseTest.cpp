#include "store/ScheduleDatabase.h"

#include "common/PathText.h"
#include "store/TableCatalogue.h"
#include "support/PlanTitles.h"
#include "support/RecordingSink.h"
#include "support/ScheduleFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <random>
#include <sqlite3.h>
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

// The bytes of an SQLite database that holds `sql`'s tables: another program's, not this one's.
std::string otherDatabase(const std::string& sql) {
    test::TempFolder folder;
    sqlite3* db = nullptr;
    sqlite3_open(pathToUtf8(folder / "other.db").c_str(), &db);
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return test::readFile(folder / "other.db");
}

// Every file that cannot serve is said in one line of Chinese with what to do, once, and is left
// byte for byte as it was: none is made, emptied or given a table.
TEST(ScheduleDatabase, UnusableFilesAreSaidInChineseAndLeftAsTheyWere) {
    const std::string advice = "请从备份恢复, 或复制安装的默认数据库 /usr/share/halvix/jbase.mdb";
    const std::string foreign =
        "jbase.mdb 不是本程序的数据库 (缺少表 lxtime), " + advice + " 替换它 (文件未作改动)。";
    const std::string damaged = "无法打开 jbase.mdb: 数据库文件已损坏, 或不是数据库文件, 请从备份恢复 "
                                "(文件未作改动)。(错误码 26)";
    std::mt19937 random(7);
    std::string noise(8192, '\0');
    for (char& c : noise)
        c = static_cast<char>(random() & 0xff);
    const struct {
        const char* what;
        std::optional<std::string> bytes; // nothing: no file at all
        std::string message;              // the first message; after the folder for a missing file
    } cases[] = {
        {"missing", std::nullopt, " 中没有 jbase.mdb, " + advice + " 到此文件夹。"},
        {"0 bytes", std::string(), foreign},
        {"another program's database",
         otherDatabase("create table notes (a TEXT); insert into notes values ('x');"), foreign},
        {"random bytes", noise, damaged},
        {"text", std::string("这不是数据库\n"), damaged},
    };
    for (const auto& c : cases) {
        test::TempFolder folder;
        if (c.bytes)
            folder.write("jbase.mdb", *c.bytes);
        RecordingSink sink;
        {
            ScheduleDatabase db(folder.path(), sink);
            EXPECT_EQ(db.databaseMissing(), !c.bytes) << c.what;
            db.open();
            EXPECT_FALSE(db.isOpen()) << c.what;
            TextList names, values;
            EXPECT_FALSE(db.loadTable("cjtime", names, values)) << c.what;
            EXPECT_FALSE(db.replaceRows("cjtime", 1, {"x"})) << c.what;
            EXPECT_FALSE(db.execute("create table t (a)")) << c.what;
            db.close();
            db.close();
        }
        ASSERT_EQ(sink.messages.size(), 2u) << c.what << ": the open's reason and the refused save";
        const std::string& said = sink.messages[0].text;
        if (c.bytes)
            EXPECT_EQ(said, c.message) << c.what;
        else
            EXPECT_EQ(said, "找不到数据库: 文件夹 " + pathToUtf8(folder.path()) + c.message) << c.what;
        EXPECT_EQ(said.find('\n'), std::string::npos)
            << c.what << ": one line, whole in a status line's tooltip";
        EXPECT_EQ(sink.messages[1].text, "数据保存失败!") << c.what;
        if (c.bytes)
            EXPECT_EQ(test::readFile(folder / "jbase.mdb"), *c.bytes) << c.what;
        else
            EXPECT_FALSE(std::filesystem::exists(folder / "jbase.mdb")) << c.what;
    }
}

TEST_F(ScheduleDatabaseFile, AMissingTableIsNamedInChinese) {
    fx.run("drop table cjtime");
    db.open();
    TextList names, values;
    EXPECT_FALSE(db.loadTable("cjtime", names, values));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text,
              "数据库查询失败: 数据库中缺少表 cjtime, 请从备份恢复, 或复制安装的默认数据库 "
              "/usr/share/halvix/jbase.mdb。(错误码 1)");
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
