// The program folder a build produces: its database answers every query the program sends, its
// plans are in time order and name only sounds that are there, its presets are complete, and a
// rebuild adds what is missing without touching what the user has.

#include "bell/DayPlanSelector.h"
#include "store/ScheduleDatabase.h"
#include "store/TextTable.h"
#include "support/PlanTitles.h"
#include "support/RecordingSink.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace halvix {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::RecordingSink;
using test::TempFolder;

const fs::path kAppDir = HALVIX_APP_DIR;
const fs::path kResDir = fs::path(HALVIX_SOURCE_DIR) / "res";

// The tables that ring on some day; sjtime is filled only by the settings dialog.
const std::vector<std::string> kFilledPlans = {"cjtime",   "zccjtime",   "qjtime",   "zcqjtime",
                                               "fridtime", "sundaytime", "kscjtime", "ksqjtime"};

struct Table {
    TextList names;
    TextList values;
    std::size_t rows() const { return names.empty() ? 0 : values.size() / names.size(); }
    const std::string& cell(std::size_t row, std::size_t column) const {
        return values.at(row * names.size() + column);
    }
};

Table loadTable(const fs::path& folder, const std::string& table) {
    RecordingSink sink;
    ScheduleDatabase db(folder, sink);
    db.open();
    Table t;
    db.loadTable(table, t.names, t.values);
    db.close();
    EXPECT_TRUE(sink.messages.empty()) << table << ": " << (sink.messages.empty() ? "" : sink.texts()[0]);
    return t;
}

bool validTime(const std::string& text) {
    if (text.size() != 5 && text.size() != 8)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool colon = i % 3 == 2;
        if (colon ? text[i] != ':' : (text[i] < '0' || text[i] > '9'))
            return false;
    }
    const auto field = [&](std::size_t at) { return (text[at] - '0') * 10 + (text[at + 1] - '0'); };
    return field(0) < 24 && field(3) < 60 && (text.size() == 5 || field(6) < 60);
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        names.push_back(entry.path().filename().string());
    return names;
}

// The files of a playlist folder that the player takes as tracks.
int trackCount(const fs::path& folder) {
    int tracks = 0;
    for (const std::string& name : namesIn(folder))
        for (const char* ext : {"mp3", "MP3", "wav", "wma"})
            if (endsWith(name, ext) && fs::is_regular_file(folder / name))
                ++tracks;
    return tracks;
}

// An MPEG audio file starts with an ID3 tag or a frame sync.
bool looksLikeMp3(const fs::path& file) {
    const std::string bytes = readFile(file);
    if (bytes.size() < 4096)
        return false;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    return bytes.compare(0, 3, "ID3") == 0 || (byte(0) == 0xFF && (byte(1) & 0xE0) == 0xE0);
}

TEST(DefaultDatabase, HoldsTheTwelveTablesWithTheirColumns) {
    ASSERT_TRUE(fs::is_regular_file(kAppDir / "jbase.mdb")) << kAppDir;
    std::map<std::string, TextList> expected = {
        {"lxtime", {"类型"}},
        {"jjtime", {"季节"}},
        {"settable",
         {"初一听力", "初二听力", "初三听力", "进场到发卡", "发卡到开袋", "开袋到发卷", "发卷到答题",
          "倒计时"}},
        {"sjtime", test::kPlanTitles},
    };
    for (const std::string& plan : kFilledPlans)
        expected[plan] = test::kPlanTitles;
    ASSERT_EQ(expected.size(), 12u);
    for (const auto& [table, columns] : expected)
        EXPECT_EQ(loadTable(kAppDir, table).names, columns) << table;
}

TEST(DefaultDatabase, StartsAsADailySpringDayWithTheDefaultExamSettings) {
    EXPECT_EQ(loadTable(kAppDir, "lxtime").values, TextList{"1"});
    EXPECT_EQ(loadTable(kAppDir, "jjtime").values, TextList{"1"});
    EXPECT_EQ(loadTable(kAppDir, "settable").values, (TextList{"10", "10", "10", "3", "2", "3", "5", "15"}));
    EXPECT_EQ(loadTable(kAppDir, "sjtime").rows(), 0u);
}

TEST(DefaultDatabase, AnswersEveryQueryTheProgramSends) {
    const std::string spring =
        "select * from sjtime where 日期='6月7日'  union all select * from kscjtime  order by 时间 ASC";
    const std::string autumn =
        "select * from sjtime where 日期='12月25日'  union all select * from ksqjtime  order by 时间 ASC";
    const std::vector<std::string> queries = {
        "select * from cjtime order by 时间 ASC",
        "select * from zccjtime order by 时间 ASC",
        "select * from qjtime order by 时间 ASC",
        "select * from zcqjtime order by 时间 ASC",
        "select * from fridtime order by 时间 ASC",
        "select * from sundaytime order by 时间 ASC",
        spring,
        autumn,
        "select * from lxtime",
        "select * from jjtime",
        "select * from settable",
    };
    RecordingSink sink;
    ScheduleDatabase db(kAppDir, sink);
    db.open();
    for (const std::string& sql : queries) {
        TextList names, values;
        EXPECT_TRUE(db.query(names, values, sql)) << sql;
        EXPECT_FALSE(values.empty()) << sql;
    }
    db.close();
    EXPECT_TRUE(sink.messages.empty()) << sink.texts()[0];
}

TEST(DefaultDatabase, SavingAnUnchangedTableWritesItBackAsItWas) {
    TempFolder temp;
    fs::copy_file(kAppDir / "jbase.mdb", temp / "jbase.mdb");
    std::vector<std::string> tables = kFilledPlans;
    tables.insert(tables.end(), {"lxtime", "jjtime", "settable"});
    for (const std::string& table : tables) {
        const Table before = loadTable(temp.path(), table);
        RecordingSink sink;
        ScheduleDatabase db(temp.path(), sink);
        db.open();
        EXPECT_TRUE(db.replaceRows(table, before.names.size(), before.values)) << table;
        db.close();
        EXPECT_TRUE(sink.messages.empty()) << table;
        EXPECT_EQ(loadTable(temp.path(), table).values, before.values) << table;
    }
}

TEST(DefaultPlans, AreNumberedPendingAndInTimeOrder) {
    for (const std::string& table : kFilledPlans) {
        SCOPED_TRACE(table);
        // The table's own order is what the data dialog shows: it must already be the day's order.
        const Table plan = loadTable(kAppDir, table);
        ASSERT_EQ(plan.names.size(), 7u);
        ASSERT_GE(plan.rows(), 5u);
        for (std::size_t r = 0; r < plan.rows(); ++r) {
            const std::string& time = plan.cell(r, 2);
            EXPECT_EQ(plan.cell(r, 0), std::to_string(r + 1));
            EXPECT_TRUE(validTime(time)) << time;
            EXPECT_EQ(plan.cell(r, 5), "待完") << time;
            EXPECT_FALSE(plan.cell(r, 3).empty()) << time;
            if (r > 0) {
                EXPECT_LT(plan.cell(r - 1, 2), time);
            }
        }
    }
}

TEST(DefaultPlans, NameOnlySoundsThatAreInTheProgramFolder) {
    const std::vector<std::string> voic = namesIn(kAppDir / "voic");
    const auto inVoic = [&](const std::string& name) {
        return std::find(voic.begin(), voic.end(), name) != voic.end();
    };
    int files = 0;
    int folders = 0;
    for (const std::string& table : kFilledPlans) {
        const Table plan = loadTable(kAppDir, table);
        for (std::size_t r = 0; r < plan.rows(); ++r) {
            const std::string& sound = plan.cell(r, 4);
            const std::string where = table + " " + plan.cell(r, 2) + " " + sound;
            if (sound.size() >= 4 && sound[sound.size() - 4] == '.') {
                ++files;
                EXPECT_TRUE(inVoic(sound)) << where;
                EXPECT_TRUE(looksLikeMp3(kAppDir / "voic" / sound)) << where;
            } else {
                ++folders;
                std::string relative = sound;
                std::replace(relative.begin(), relative.end(), '\\', '/');
                EXPECT_GE(trackCount(kAppDir / relative), 2) << where;
            }
        }
    }
    EXPECT_GT(files, 0);
    EXPECT_GT(folders, 0);

    // The exam broadcast names these files by exact name.
    for (const char* step :
         {"h01组织进入考场.mp3", "h02发机读卡.mp3", "h03开启试卷袋.mp3", "h04分发试卷.mp3", "h05开始答题.mp3",
          "h06倒计时.mp3", "h07考试结束.mp3", "h08初一听力.mp3", "h09初二听力.mp3", "h10初三听力.mp3"}) {
        EXPECT_TRUE(inVoic(step)) << step;
        EXPECT_TRUE(looksLikeMp3(kAppDir / "voic" / step)) << step;
    }
}

TEST(DefaultPlans, GiveEveryDayOfTheWeekAPlan) {
    TempFolder temp;
    fs::copy_file(kAppDir / "jbase.mdb", temp / "jbase.mdb");
    fs::copy_file(kAppDir / "xqno.txt", temp / "xqno.txt");
    RecordingSink sink;
    const int dayType = readDayType(temp.path(), sink);
    const int season = readSeason(temp.path(), sink);
    const WeekDays week = readWeekDays(temp.path());
    EXPECT_EQ(dayType, kDailyDay);
    EXPECT_EQ(season, kSpring);
    EXPECT_EQ(week.firstDay, 1);
    EXPECT_EQ(week.lastDay, 5);

    struct Case {
        int dayType, season, weekday;
        const char* table;
    } cases[] = {
        {kDailyDay, kSpring, 1, "cjtime"},   {kDailyDay, kSpring, 3, "zccjtime"},
        {kDailyDay, kSpring, 6, "zccjtime"}, {kDailyDay, kAutumn, 1, "qjtime"},
        {kDailyDay, kAutumn, 4, "zcqjtime"}, {kDailyDay, kSpring, 5, "fridtime"},
        {kDailyDay, kAutumn, 5, "fridtime"}, {kDailyDay, kAutumn, 7, "sundaytime"},
        {kExamDay, kSpring, 2, "kscjtime"},  {kExamDay, kAutumn, 2, "ksqjtime"},
    };
    for (const Case& c : cases) {
        LocalTime today;
        today.month = 6;
        today.day = 7;
        today.weekday = c.weekday;
        TextTable plan;
        EXPECT_EQ(loadDayPlan(temp.path(), c.dayType, c.season, today, plan, sink), LoadResult::Loaded) << c.table;
        const Table stored = loadTable(temp.path(), c.table);
        ASSERT_EQ(static_cast<std::size_t>(plan.rowCount()), stored.rows()) << c.table;
        EXPECT_EQ(plan.cell(0, 2), stored.cell(0, 2)) << c.table;
    }
    EXPECT_TRUE(sink.messages.empty());
}

TEST(DefaultPresets, HoldEighteenValidTimesForEachExamKind) {
    for (const char* name :
         {"cbhtime.txt", "cj1htime.txt", "cj2htime.txt", "cjqmhtime.txt", "qjbqhtime.txt", "qjqmtime.txt"}) {
        SCOPED_TRACE(name);
        std::ifstream in(kAppDir / "tovk" / name);
        ASSERT_TRUE(in) << "missing";
        std::vector<int> values;
        for (int v; in >> v;)
            values.push_back(v);
        EXPECT_TRUE(in.eof()) << "stray text after value " << values.size();
        ASSERT_EQ(values.size(), 18u);
        int exams = 0;
        for (std::size_t i = 0; i < values.size(); i += 2) {
            const int start = values[i];
            const int end = values[i + 1];
            if (start < 100) { // a subject without an exam
                EXPECT_EQ(start, 0);
                continue;
            }
            ++exams;
            for (int v : {start, end}) {
                EXPECT_LT(v / 100, 24) << v;
                EXPECT_LT(v % 100, 60) << v;
            }
            EXPECT_LT(start, end) << "subject " << i / 2;
        }
        EXPECT_GE(exams, 5);
    }
    EXPECT_EQ(readFile(kAppDir / "xqno.txt"), "1125\n");
}

#if defined(HALVIX_MAKE_DATABASE) && defined(HALVIX_CMAKE_COMMAND) && defined(HALVIX_COPY_MISSING_SCRIPT)

int makeDatabase(const fs::path& script, const fs::path& database) {
    const std::string command = std::string("\"") + HALVIX_MAKE_DATABASE + "\" \"" + script.string() +
                                "\" \"" + database.string() + "\"";
    return std::system(command.c_str());
}

int copyMissing(const fs::path& to) {
    const std::string command = std::string("\"") + HALVIX_CMAKE_COMMAND + "\" -DFROM=\"" + kResDir.string() +
                                "\" -DTO=\"" + to.string() + "\" \"-DENTRIES=voic;tovk;xqno.txt\" -P \"" +
                                HALVIX_COPY_MISSING_SCRIPT + "\"";
    return std::system(command.c_str());
}

TEST(ProgramFolderBuild, MakesTheDatabaseOnlyWhenThereIsNone) {
    TempFolder temp;
    const fs::path database = temp / "app/jbase.mdb";
    ASSERT_EQ(makeDatabase(kResDir / "jbase.sql", database), 0);
    EXPECT_EQ(loadTable(database.parent_path(), "lxtime").values, TextList{"1"});

    // A user's database, whatever it holds, stays as it is.
    std::ofstream(database, std::ios::binary | std::ios::trunc) << "the user's own data";
    ASSERT_EQ(makeDatabase(kResDir / "jbase.sql", database), 0);
    EXPECT_EQ(readFile(database), "the user's own data");

    // A script that fails part-way leaves neither a database nor a half-written file behind.
    const fs::path broken =
        temp.write("broken.sql", "create table a (x TEXT); insert into nowhere values (1);");
    const fs::path second = temp / "other/jbase.mdb";
    EXPECT_NE(makeDatabase(broken, second), 0);
    EXPECT_FALSE(fs::exists(second));
    EXPECT_EQ(namesIn(second.parent_path()), std::vector<std::string>{});
}

TEST(ProgramFolderBuild, RestoresDeletedFilesAndKeepsTheUsersOwn) {
    TempFolder temp;
    const fs::path app = temp / "app";
    ASSERT_EQ(copyMissing(app), 0);
    const std::vector<std::string> files = {"xqno.txt", "tovk/cbhtime.txt", "voic/上课.mp3",
                                            "voic/课间操/02广播体操.mp3"};
    for (const std::string& file : files)
        EXPECT_EQ(readFile(app / file), readFile(kResDir / file)) << file;

    std::ofstream(app / "xqno.txt", std::ios::trunc) << "1256";
    std::ofstream(app / "voic/上课.mp3", std::ios::binary | std::ios::trunc) << "the school's own bell";
    fs::remove(app / "tovk/cbhtime.txt");
    fs::remove_all(app / "voic/课间操");
    ASSERT_EQ(copyMissing(app), 0);

    EXPECT_EQ(readFile(app / "xqno.txt"), "1256");
    EXPECT_EQ(readFile(app / "voic/上课.mp3"), "the school's own bell");
    EXPECT_EQ(readFile(app / "tovk/cbhtime.txt"), readFile(kResDir / "tovk/cbhtime.txt"));
    EXPECT_EQ(readFile(app / "voic/课间操/02广播体操.mp3"), readFile(kResDir / "voic/课间操/02广播体操.mp3"));
    EXPECT_EQ(trackCount(app / "voic/课间操"), 2);
}

#endif

} // namespace
} // namespace halvix
