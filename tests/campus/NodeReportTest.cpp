#include "campus/NodeReport.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace halvix::campus {
namespace {

using nlohmann::json;

NodeStatus fullStatus() {
    NodeStatus status;
    status.node = "b1";
    status.name = "教学楼";
    status.zones = {"teach", "lab"};
    status.zoneNames = {"教学区", "实验区"};
    status.central = true;
    status.online = true;
    status.revision = 42;
    status.snapshotProblem = "表 \"users\" 不是共享的表";
    status.today = "日常 春季 星期二";
    status.next = NextEntry{"08:00:00", "上课", "上课.mp3"};
    status.lastRing = LastRing{1765180800000, "07:30:00", "起床", "已响铃", 12};
    status.soundProblems = {"缺少 下课.mp3"};
    status.clock = {true, -3.25};
    status.emergency = {true, false, "警报.mp3", "紧急广播的区域编号无效"};
    status.version = "0.1.0";
    status.sentMs = 1765180801000;
    return status;
}

TEST(NodeReport, StatusAndAcknowledgementReadBackAsWritten) {
    EXPECT_EQ(readStatus(writeStatus(fullStatus())).status, fullStatus());
    NodeStatus bare;
    bare.node = "b2";
    EXPECT_EQ(readStatus(writeStatus(bare)).status, bare);
    const StatusRead will = readStatus(writeOfflineStatus("b3"));
    ASSERT_TRUE(will.ok()) << will.problem;
    EXPECT_EQ(will.status.node, "b3");
    EXPECT_FALSE(will.status.online);

    for (AckResult result : {AckResult::Played, AckResult::MissingSound, AckResult::Refused}) {
        const CommandAck ack{"b1", "c-17", result, "缺少 上课.mp3", 1765180800123};
        EXPECT_EQ(readAck(writeAck(ack)).ack, ack) << ackLabel(result);
    }
}

TEST(NodeReport, RefusesStatusAndAcknowledgementsThatDoNotRead) {
    const struct {
        const char* what;
        json change;
    } statuses[] = {
        {"node id with a level", {{"node", "b1/x"}}},
        {"no online", {{"online", nullptr}}},
        {"online as text", {{"online", "yes"}}},
        {"name with escape", {{"name", "\x1b[2J"}}},
        {"long name", {{"today", std::string(2000, 'x')}}},
        {"too many problems", {{"soundProblems", std::vector<std::string>(101, "x")}}},
        {"problem not text", {{"soundProblems", {1}}}},
        {"revision negative", {{"revision", -1}}},
        {"next not an object", {{"next", "08:00"}}},
        {"offset text", {{"clock", {{"offsetMs", "3"}}}}},
        {"emergency a flag", {{"emergency", true}}},
        {"sounding as text", {{"emergency", {{"sounding", "yes"}}}}},
        {"emergency sound with escape", {{"emergency", {{"sound", "\x1b[2J"}}}}},
        {"zone name not text", {{"zoneNames", {7}}}},
        {"zone name with escape", {{"zoneNames", {"\x1b[2J"}}}},
        {"central as text", {{"central", "yes"}}},
    };
    for (const auto& c : statuses) {
        json payload = json::parse(writeStatus(fullStatus()));
        payload.merge_patch(c.change);
        EXPECT_FALSE(readStatus(payload.dump()).ok()) << c.what;
    }
    const json ack = json::parse(writeAck({"b1", "c-17", AckResult::Played, "", 5}));
    for (const json& change : {json{{"result", "已爆炸"}}, json{{"node", ""}}, json{{"command", ""}},
                               json{{"atMs", nullptr}}, json{{"detail", 3}}}) {
        json payload = ack;
        payload.merge_patch(change);
        EXPECT_FALSE(readAck(payload.dump()).ok()) << change.dump();
    }
}

} // namespace
} // namespace halvix::campus
