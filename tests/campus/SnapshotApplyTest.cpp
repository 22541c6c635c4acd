#include "campus/SnapshotApplier.h"
#include "campus/SnapshotBuilder.h"
#include "support/CampusSnapshots.h"
#include "support/FolderContent.h"
#include "support/ScheduleFixture.h"

#include <gtest/gtest.h>

#include <functional>

namespace halvix::campus {
namespace {

namespace fs = std::filesystem;
using test::ScheduleFixture;

std::vector<std::vector<std::string>> sharedRows(const ScheduleFixture& folder) {
    std::vector<std::vector<std::string>> all;
    for (const SharedTable& table : sharedTables())
        for (auto& row : folder.rows("select '" + table.name + "', * from " + table.name))
            all.push_back(std::move(row));
    return all;
}

struct Campus {
    ScheduleFixture central;
    ScheduleFixture node;

    Campus() {
        central.insertPlan("cjtime", {{"1", "", "07:30:00", "起床", "铃声/起床.mp3", "待完", ""}});
        central.run("create table calendar (开始日期 TEXT, 结束日期 TEXT, 类型 TEXT, 参数 TEXT, 备注 TEXT);"
                    "insert into calendar values ('2026-10-01', '2026-10-07', '假期', '', '国庆');"
                    "update lxtime set 类型 = '2';");
        central.writeWeekFile("1126");
        central.temp().write("voic/铃声/起床.mp3", "new bell");
        central.temp().write("voic/下课.mp3", "end of lesson");

        node.insertPlan("cjtime", {{"1", "", "09:00:00", "旧的", "旧.mp3", "待完", ""}});
        node.writeWeekFile("1125");
        node.temp().write("voic/下课.mp3", "the building's old version");
        node.temp().write("voic/本楼广播.mp3", "the building's own");
    }

    Snapshot snapshot() const {
        SnapshotBuild build = buildSnapshot(central.folder(), 3);
        EXPECT_TRUE(build.ok()) << build.problem;
        return build.snapshot;
    }

    SoundBytes bytesOf(const Snapshot& snapshot) const {
        SoundBytes bytes;
        for (const SnapshotSound& sound : snapshot.sounds)
            bytes[sound.sha256] = test::readFile(central.folder() / "voic" / fs::path(sound.name));
        return bytes;
    }
};

TEST(SnapshotApply, ReplacesTablesSoundsAndWeekAndKeepsTheBuildingsOwnSounds) {
    Campus campus;
    const Snapshot snapshot = campus.snapshot();
    EXPECT_EQ(missingSounds(campus.node.folder(), snapshot).size(), 2u);
    EXPECT_EQ(storedRevision(campus.node.folder()), 0u);

    ASSERT_EQ(applySnapshot(campus.node.folder(), snapshot, campus.bytesOf(snapshot)), "");

    EXPECT_EQ(sharedRows(campus.node), sharedRows(campus.central));
    EXPECT_EQ(storedRevision(campus.node.folder()), 3u);
    EXPECT_EQ(test::readFile(campus.node.folder() / "xqno.txt"), "1126");
    EXPECT_EQ(test::readFile(campus.node.folder() / "voic/铃声/起床.mp3"), "new bell");
    EXPECT_EQ(test::readFile(campus.node.folder() / "voic/下课.mp3"), "end of lesson");
    EXPECT_EQ(test::readFile(campus.node.folder() / "voic/本楼广播.mp3"), "the building's own");
    EXPECT_TRUE(missingSounds(campus.node.folder(), snapshot).empty());
    // No temporary or kept file is left beside the sounds.
    EXPECT_EQ(test::folderContent(campus.node.folder() / "voic").size(), 4u);

    // The same snapshot again needs no bytes: what is in place is not written again.
    Snapshot next = snapshot;
    next.revision = 4;
    EXPECT_EQ(applySnapshot(campus.node.folder(), next, {}), "");
    EXPECT_EQ(storedRevision(campus.node.folder()), 4u);
}

TEST(SnapshotApply, AFailedApplyLeavesDatabaseSoundsAndWeekAsTheyWere) {
    struct Case {
        const char* what;
        std::function<void(const Campus&, Snapshot&, SoundBytes&)> spoil;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"bytes that do not match the hash",
         [](const Campus&, Snapshot& s, SoundBytes& b) { b[s.sounds[1].sha256] = "tampered bell"; },
         "SHA-256"},
        {"bytes not fetched", [](const Campus&, Snapshot& s, SoundBytes& b) { b.erase(s.sounds[1].sha256); },
         "缺少声音"},
        // The sounds are already swapped in when the table write fails: they must go back.
        {"a table the node cannot write",
         [](const Campus& c, Snapshot&, SoundBytes&) {
             c.node.run("drop table sundaytime; create table sundaytime (x TEXT);");
         },
         "数据库写入失败"},
        {"a folder where a sound goes",
         [](const Campus& c, Snapshot&, SoundBytes&) {
             fs::remove(c.node.folder() / "voic/下课.mp3");
             fs::create_directories(c.node.folder() / "voic/下课.mp3/x");
         },
         "是一个文件夹"},
        {"a link out of voic",
         [](const Campus& c, Snapshot&, SoundBytes&) {
             fs::create_directories(c.node.folder() / "outside");
             fs::create_directory_symlink(c.node.folder() / "outside", c.node.folder() / "voic/铃声");
         },
         "不在 voic 内"},
        {"an older revision",
         [](const Campus& c, Snapshot& s, SoundBytes&) {
             ASSERT_TRUE(storeRevision(c.node.folder(), s.revision + 1));
         },
         "不新于已应用的版本 4"},
        {"the same revision again",
         [](const Campus& c, Snapshot& s, SoundBytes&) {
             ASSERT_TRUE(storeRevision(c.node.folder(), s.revision));
         },
         "版本 3 不新于"},
        {"no database", [](const Campus& c, Snapshot&, SoundBytes&) { fs::remove(c.node.database()); },
         "无法打开数据库"},
    };
    for (const Case& c : cases) {
        Campus campus;
        Snapshot snapshot = campus.snapshot();
        SoundBytes bytes = campus.bytesOf(snapshot);
        ASSERT_EQ(snapshot.sounds[1].name, "铃声/起床.mp3");
        c.spoil(campus, snapshot, bytes);
        const auto before = test::folderContent(campus.node.folder());

        const std::string problem = applySnapshot(campus.node.folder(), snapshot, bytes);

        EXPECT_NE(problem.find(c.reason), std::string::npos) << c.what << ": " << problem;
        EXPECT_EQ(test::changedEntries(before, test::folderContent(campus.node.folder())),
                  std::vector<std::string>{})
            << c.what;
    }
}

TEST(SnapshotApply, LeftoversOfAnApplyCutShortAreRemoved) {
    ScheduleFixture node;
    node.temp().write("voic/.上课.mp3.halvix-new", "half");
    node.temp().write("voic/a/.b.mp3.halvix-old", "old");
    node.temp().write(".xqno.txt.halvix-new", "1");
    node.temp().write("voic/.mine", "a file of the building");
    removeApplyLeftovers(node.folder());
    const auto left = test::folderContent(node.folder());
    EXPECT_EQ(left.count("voic/.上课.mp3.halvix-new") + left.count("voic/a/.b.mp3.halvix-old") +
                  left.count(".xqno.txt.halvix-new"),
              0u);
    EXPECT_EQ(left.count("voic/.mine"), 1u);
}

// Killed after its files were swapped in: before the commit the kept files belong to the tables
// and are put back; after it the new ones stay. Killed between keeping a file (a second link to it)
// and swapping the new one in, the kept link is all that is left over. Either way nothing is left
// beside them.
TEST(SnapshotApply, FilesOfAnApplyKilledBeforeItsCommitArePutBack) {
    struct Case {
        const char* what;
        std::uint64_t committed;
        bool keptIsALink;
        const char* sound;
        const char* week;
    };
    for (const Case& c : {Case{"killed before the commit", 4, false, "old", "1125"},
                          Case{"killed after the commit", 5, false, "new", "1126"},
                          Case{"killed before the swap", 4, true, "old", "1125"}}) {
        ScheduleFixture node;
        ASSERT_TRUE(storeRevision(node.folder(), c.committed));
        const auto keep = [&node, &c](const char* target, const char* kept, const char* old,
                                      const char* now) {
            if (!c.keptIsALink) {
                node.temp().write(target, now);
                node.temp().write(kept, old);
                return;
            }
            std::filesystem::create_hard_link(node.temp().write(target, old), node.temp() / kept);
        };
        keep("voic/a/上课.mp3", "voic/a/.上课.mp3.halvix-old", "old", "new");
        keep("xqno.txt", ".xqno.txt.halvix-old", "1125", "1126");
        node.temp().write(".jbase.mdb.halvix-apply", "5");
        removeApplyLeftovers(node.folder());
        const auto left = test::folderContent(node.folder());
        EXPECT_EQ(left.at("voic/a/上课.mp3"), c.sound) << c.what;
        EXPECT_EQ(left.at("xqno.txt"), c.week) << c.what;
        EXPECT_EQ(left.count("voic/a/.上课.mp3.halvix-old") + left.count(".xqno.txt.halvix-old") +
                      left.count(".jbase.mdb.halvix-apply"),
                  0u)
            << c.what;
    }
}

} // namespace
} // namespace halvix::campus
