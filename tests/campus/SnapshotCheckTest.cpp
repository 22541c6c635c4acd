#include "campus/SnapshotBuilder.h"
#include "support/CampusSnapshots.h"
#include "support/ScheduleFixture.h"

#include <gtest/gtest.h>

#include <functional>

namespace halvix::campus {
namespace {

using nlohmann::json;
using test::validSnapshotJson;

json& tableNamed(json& root, const std::string& name) {
    for (json& table : root["tables"])
        if (table["name"] == name)
            return table;
    throw std::runtime_error("no table " + name);
}

TEST(SnapshotCheck, RefusesAnyBadPartWithItsReason) {
    struct Case {
        const char* what;
        std::function<void(json&)> spoil;
        const char* reason;
    };
    const std::string hash = sha256Hex(test::kSoundBytes);
    const auto sound = [&hash](const std::string& name) {
        return [name, hash](json& root) { root["sounds"][0]["name"] = name; };
    };
    const std::vector<Case> cases = {
        {"unknown table",
         [](json& r) {
             r["tables"].push_back({{"name", "users"}, {"columns", json::array()}, {"rows", json::array()}});
         },
         "users\" 不是共享的表"},
        {"table twice", [](json& r) { r["tables"].push_back(tableNamed(r, "lxtime")); }, "lxtime 出现了两次"},
        {"table missing", [](json& r) { r["tables"].erase(r["tables"].size() - 1); }, "缺少表 calendar"},
        {"other columns",
         [](json& r) {
             tableNamed(r, "jjtime")["columns"] = {"季节", "密码"};
         },
         "jjtime 的列不对"},
        {"short row", [](json& r) { tableNamed(r, "cjtime")["rows"][0].erase(6); },
         "cjtime 第1行应有 7 个单元格"},
        {"number cell", [](json& r) { tableNamed(r, "cjtime")["rows"][0][0] = 1; }, "单元格不是文字"},
        {"nul in cell", [](json& r) { tableNamed(r, "cjtime")["rows"][0][3] = std::string("a\0b", 3); },
         "空字符"},
        {"long cell", [](json& r) { tableNamed(r, "cjtime")["rows"][0][3] = std::string(5000, 'x'); },
         "单元格过长"},
        {"parent folder", sound("../jbase.mdb"), "voic 文件夹内"},
        {"inner parent", sound("a/../../x.mp3"), "voic 文件夹内"},
        {"absolute", sound("/etc/passwd"), "绝对路径"},
        {"backslash", sound("..\\x.mp3"), "\\"},
        {"drive", sound("C:x.mp3"), ":"},
        {"control char", sound("a\nb.mp3"), "控制字符"},
        {"empty part", sound("a//b.mp3"), "空的路径部分"},
        {"hidden", sound(".x.mp3.halvix-new"), "不能以 . 开头"},
        {"bad hash", [](json& r) { r["sounds"][0]["sha256"] = std::string(64, 'A'); }, "SHA-256"},
        {"short hash", [](json& r) { r["sounds"][0]["sha256"] = "abc"; }, "SHA-256"},
        {"oversize", [](json& r) { r["sounds"][0]["size"] = (300ull << 20); }, "过大"},
        {"negative size", [](json& r) { r["sounds"][0]["size"] = -1; }, "缺少大小"},
        {"name twice", [](json& r) { r["sounds"].push_back(r["sounds"][0]); }, "出现了两次"},
        {"file and folder",
         [&hash](json& r) {
             r["sounds"].push_back({{"name", "上课.mp3/x.mp3"}, {"sha256", hash}, {"size", 1}});
         },
         "同时是文件和文件夹"},
        {"revision text", [](json& r) { r["revision"] = "6"; }, "版本号"},
        {"revision zero", [](json& r) { r["revision"] = 0; }, "版本号"},
        {"revision fraction", [](json& r) { r["revision"] = 6.5; }, "版本号"},
        {"newer format", [](json& r) { r["format"] = 2; }, "格式 2 不受支持"},
        {"week letters", [](json& r) { r["week"] = "11a5"; }, "xqno.txt"},
        {"week number", [](json& r) { r["week"] = 1125; }, "xqno.txt"},
        {"tables object", [](json& r) { r["tables"] = json::object(); }, "缺少表"},
        {"sounds missing", [](json& r) { r.erase("sounds"); }, "缺少声音列表"},
        {"not an object",
         [](json& r) {
             r = json::array({1, 2});
         },
         "不是 JSON 对象"},
    };
    for (const Case& c : cases) {
        json root = validSnapshotJson();
        c.spoil(root);
        const SnapshotRead read = readSnapshot(root.dump());
        EXPECT_NE(read.problem.find(c.reason), std::string::npos) << c.what << ": " << read.problem;
        EXPECT_EQ(read.snapshot, Snapshot{}) << c.what;
    }

    const std::string good = validSnapshotJson().dump();
    const struct {
        const char* what;
        std::string payload;
        SnapshotLimits limits;
        const char* reason;
    } raw[] = {
        {"cut short", good.substr(0, good.size() / 2), {}, "不是有效的 JSON"},
        {"broken UTF-8", "{\"format\":1,\"week\":\"\xff\"}", {}, "不是有效的 JSON"},
        {"deep", std::string(100000, '[') + std::string(100000, ']'), {}, "嵌套过深"},
        {"too large", good, {.maxPayload = 100}, "内容过大"},
        {"too many rows", good, {.maxRows = 0}, "行数过多"},
        {"sounds too big together", good, {.maxTotalSoundSize = 5}, "声音总大小"},
    };
    for (const auto& c : raw) {
        const SnapshotRead read = readSnapshot(c.payload, c.limits);
        EXPECT_NE(read.problem.find(c.reason), std::string::npos) << c.what << ": " << read.problem;
    }
    EXPECT_TRUE(readSnapshot(good).ok()) << readSnapshot(good).problem;
}

TEST(SnapshotCheck, TakesWhatTheCentralBuilt) {
    test::ScheduleFixture central;
    central.insertPlan("zccjtime", {{"1", "", "08:00:00", "上课", "铃声/上课.mp3", "待完", "含,逗号"},
                                    {"2", "", "08:45:00", "下课", "下课.mp3", "完成", ""}});
    central.run("create table calendar (开始日期 TEXT, 结束日期 TEXT, 类型 TEXT, 参数 TEXT, 备注 TEXT);"
                "insert into calendar values ('2026-10-01', '2026-10-07', '假期', '', '国庆');");
    central.writeWeekFile("1125\r\n");
    central.temp().write("voic/铃声/上课.mp3", "bell");
    central.temp().write("voic/下课.mp3", "end");
    central.temp().write("voic/.hidden", "x");
    central.temp().write("voic/bad\x01name.mp3", "x");
    std::filesystem::create_symlink(central.database(), central.folder() / "voic/库.mp3");

    const SnapshotBuild build = buildSnapshot(central.folder(), 9);
    ASSERT_TRUE(build.ok()) << build.problem;
    EXPECT_EQ(build.snapshot.week, "1125");
    ASSERT_EQ(build.snapshot.sounds.size(), 2u);
    EXPECT_EQ(build.snapshot.sounds[1], (SnapshotSound{"铃声/上课.mp3", sha256Hex("bell"), 4}));
    // The hidden file, the control character, the link to the database.
    EXPECT_EQ(build.skipped.size(), 3u);

    const SnapshotRead read = readSnapshot(writeSnapshot(build.snapshot));
    ASSERT_TRUE(read.ok()) << read.problem;
    EXPECT_EQ(read.snapshot, build.snapshot);
    const SnapshotTable* calendar = nullptr;
    for (const SnapshotTable& table : read.snapshot.tables)
        if (table.name == "calendar")
            calendar = &table;
    ASSERT_NE(calendar, nullptr);
    EXPECT_EQ(calendar->cells, (TextList{"2026-10-01", "2026-10-07", "假期", "", "国庆"}));

    // A cached build sees a sound rewritten in place with the same size; the fingerprint ignores
    // the revision alone.
    SoundHashCache cache;
    const SnapshotBuild cached = buildSnapshot(central.folder(), 10, {}, &cache);
    EXPECT_EQ(cached.snapshot.sounds, build.snapshot.sounds);
    EXPECT_EQ(contentFingerprint(cached.snapshot), contentFingerprint(build.snapshot));
    const auto voicSound = central.folder() / "voic/下课.mp3";
    central.temp().write("voic/下课.mp3", "END");
    std::filesystem::last_write_time(voicSound,
                                     std::filesystem::last_write_time(voicSound) + std::chrono::seconds(1));
    const SnapshotBuild changed = buildSnapshot(central.folder(), 10, {}, &cache);
    EXPECT_EQ(changed.snapshot.sounds[0].sha256, sha256Hex("END"));
    EXPECT_NE(contentFingerprint(changed.snapshot), contentFingerprint(build.snapshot));

    // Without xqno.txt the central shares nothing: a node would otherwise lose its school week.
    std::filesystem::remove(central.folder() / "xqno.txt");
    EXPECT_NE(buildSnapshot(central.folder(), 10).problem.find("xqno.txt"), std::string::npos);
}

} // namespace
} // namespace halvix::campus
