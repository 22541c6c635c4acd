#include "campus/NodeBoard.h"

#include <gtest/gtest.h>

namespace halvix::campus {
namespace {

constexpr std::int64_t kStale = 100'000;

NodeStatus statusOf(std::string node, std::uint64_t revision, std::vector<std::string> zones = {"teach"}) {
    NodeStatus status;
    status.node = std::move(node);
    status.name = "教学楼";
    status.zones = std::move(zones);
    status.online = true;
    status.revision = revision;
    status.clock = {true, 12.0};
    return status;
}

// The broker's last will for the node, as the central reads it.
NodeStatus gone(const std::string& node) {
    return readStatus(writeOfflineStatus(node)).status;
}

std::vector<std::string> kinds(const std::vector<BoardNotice>& notices) {
    std::vector<std::string> texts;
    for (const BoardNotice& notice : notices)
        texts.push_back(notice.node + ":" + notice.text);
    return texts;
}

TEST(NodeBoard, JudgesEachNodeFromItsLastStatus) {
    const struct {
        const char* what;
        NodeStatus status;
        std::int64_t heardAgoMs;
        bool online, inSync, clockTooFar;
        std::vector<std::string> problems;
    } cases[] = {
        {"healthy", statusOf("b1", 5), 0, true, true, false, {}},
        {"behind", statusOf("b1", 4), 0, true, false, false, {"版本 4，主控 5"}},
        {"silent past the stale time", statusOf("b1", 5), kStale + 1, false, true, false, {}},
        {"ahead after the central lost its counter", statusOf("b1", 6), 0, true, true, false, {}},
        {"refused snapshot",
         [] {
             auto s = statusOf("b1", 5);
             s.snapshotProblem = "声音 a.mp3 的内容与散列不符";
             return s;
         }(),
         0,
         true,
         false,
         false,
         {"计划被拒绝：声音 a.mp3 的内容与散列不符"}},
        {"clock far behind",
         [] {
             auto s = statusOf("b1", 5);
             s.clock.offsetMs = -1500.0;
             return s;
         }(),
         0,
         true,
         true,
         true,
         {"时钟偏差 1.5 秒"}},
        {"clock unsynchronised, offset unmeasured",
         [] {
             auto s = statusOf("b1", 5);
             s.clock = {false, std::nullopt};
             return s;
         }(),
         0,
         true,
         true,
         false,
         {"时钟未同步"}},
        {"failed ring and sound problems",
         [] {
             auto s = statusOf("b1", 5);
             s.lastRing = LastRing{0, "08:00:00", "上课", "缺少声音", 0};
             s.soundProblems = {"缺少 下课.mp3"};
             return s;
         }(),
         0,
         true,
         true,
         false,
         {"最近响铃 08:00:00 缺少声音", "缺少 下课.mp3"}},
    };
    for (const auto& c : cases) {
        NodeBoard board(kStale);
        board.setCentralRevision(5, 0);
        board.takeStatus(c.status, 1000);
        const auto judged = board.node("b1", 1000 + c.heardAgoMs);
        ASSERT_TRUE(judged) << c.what;
        EXPECT_EQ(judged->online, c.online) << c.what;
        EXPECT_EQ(judged->inSync, c.inSync) << c.what;
        EXPECT_EQ(judged->clockTooFar, c.clockTooFar) << c.what;
        EXPECT_EQ(judged->problems, c.problems) << c.what;
    }
}

TEST(NodeBoard, TakesOnlyReadableStatusesOfTheTopicsNode) {
    NodeBoard board;
    EXPECT_EQ(board.receiveStatus(writeStatus(statusOf("b1", 3)), "b1", 0), "");
    EXPECT_NE(board.receiveStatus(writeStatus(statusOf("b2", 3)), "b1", 0), "");
    EXPECT_NE(board.receiveStatus("{\"format\":1,\"node\":", "b1", 0), "");
    EXPECT_EQ(board.nodes(0).size(), 1u);

    // The last will keeps what the node said before: name, zones and revision stay on the board.
    EXPECT_EQ(board.receiveStatus(writeOfflineStatus("b1"), "b1", 10), "");
    const auto gone = board.node("b1", 10);
    ASSERT_TRUE(gone);
    EXPECT_FALSE(gone->online);
    EXPECT_EQ(gone->name, "教学楼");
    EXPECT_EQ(gone->zones, std::vector<std::string>{"teach"});
    EXPECT_EQ(gone->status.revision, 3u);
}

TEST(NodeBoard, NoticesOncePerSpellOfTrouble) {
    // Each step: time, what happens, whether an entry of today is still to come, notices expected.
    enum class Event { None, Offline, Online, Behind, CaughtUp };
    const struct {
        const char* what;
        std::vector<std::tuple<std::int64_t, Event, bool, std::vector<std::string>>> steps;
    } cases[] = {
        {"offline in the school day, once, then back",
         {{0, Event::None, true, {}},
          {1000, Event::Offline, true, {"b1:教学楼（b1） 离线"}},
          {2000, Event::None, true, {}},
          {3000, Event::Online, true, {"b1:教学楼（b1） 已恢复"}},
          {4000, Event::None, true, {}}}},
        {"offline after the day's last entry: no notice",
         {{1000, Event::Offline, false, {}}, {2000, Event::Online, false, {}}}},
        {"still offline when the day begins",
         {{1000, Event::Offline, false, {}}, {2000, Event::None, true, {"b1:教学楼（b1） 离线"}}}},
        {"behind within the grace time: nothing",
         {{0, Event::Behind, true, {}},
          {59'000, Event::CaughtUp, true, {}},
          {150'000, Event::None, true, {}}}},
        {"behind past the grace time, once, then caught up",
         {{0, Event::Behind, true, {}},
          {59'999, Event::None, true, {}},
          {60'000, Event::None, true, {"b1:教学楼（b1） 未同步（版本 1，主控 2）"}},
          {90'000, Event::None, true, {}},
          {95'000, Event::CaughtUp, true, {"b1:教学楼（b1） 已恢复"}}}},
        {"silent node: offline once it is stale",
         {{kStale, Event::None, true, {}}, {kStale + 1, Event::None, true, {"b1:教学楼（b1） 离线"}}}},
    };
    for (const auto& c : cases) {
        NodeBoard board(kStale);
        board.setCentralRevision(1, 0);
        board.takeStatus(statusOf("b1", 1), 0);
        for (const auto& [at, event, schoolDay, expected] : c.steps) {
            switch (event) {
            case Event::Offline:
                board.takeStatus(gone("b1"), at);
                break;
            case Event::Online:
                board.takeStatus(statusOf("b1", board.centralRevision()), at);
                break;
            case Event::Behind:
                board.setCentralRevision(2, at);
                break;
            case Event::CaughtUp:
                board.takeStatus(statusOf("b1", 2), at);
                break;
            case Event::None:
                break;
            }
            EXPECT_EQ(kinds(board.takeNotices(at, schoolDay)), expected) << c.what << " at " << at;
        }
    }
}

TEST(NodeBoard, WarningLastsUntilEveryNodeIsBack) {
    NodeBoard board(kStale);
    board.takeStatus(statusOf("b1", 0), 0);
    board.takeStatus(statusOf("b2", 0), 0);
    board.takeStatus(gone("b1"), 10);
    board.takeStatus(gone("b2"), 10);
    EXPECT_EQ(board.takeNotices(20, true).size(), 2u);
    EXPECT_EQ(board.warnedNodes(), 2);
    board.takeStatus(statusOf("b1", 0), 30);
    EXPECT_EQ(board.takeNotices(40, true).size(), 1u);
    EXPECT_EQ(board.warnedNodes(), 1);
    EXPECT_TRUE(board.hasWarning());
    board.takeStatus(statusOf("b2", 0), 50);
    EXPECT_EQ(board.takeNotices(60, true).size(), 1u);
    EXPECT_FALSE(board.hasWarning());
}

TEST(NodeBoard, AnswersOfACommandPerAddressedNode) {
    NodeBoard board;
    board.takeStatus(statusOf("b1", 0, {"teach"}), 0);
    board.takeStatus(statusOf("b2", 0, {"lab"}), 0);
    board.takeStatus(statusOf("b3", 0, {"lab", "teach"}), 0);

    Command play{"c-1", {CommandTarget::Scope::Zone, "lab"}, CommandKind::Play, "上课.mp3", "", 1000, 10};
    board.commandSent(play);
    EXPECT_EQ(commandText(play), "立即播放 上课.mp3 → 区域 lab");

    EXPECT_TRUE(board.receiveAck(writeAck({"b2", "c-1", AckResult::Played, "", 1500}), "b2", 1500));
    // Refused: another node's answer on b2's topic, an unknown command, a payload that does not read.
    EXPECT_FALSE(board.receiveAck(writeAck({"b3", "c-1", AckResult::Played, "", 1500}), "b2", 1500));
    EXPECT_FALSE(board.receiveAck(writeAck({"b2", "c-9", AckResult::Played, "", 1500}), "b2", 1500));
    EXPECT_FALSE(board.receiveAck("[]", "b2", 1500));
    // A node that was not on the board when the command left still has its answer shown.
    EXPECT_TRUE(board.receiveAck(writeAck({"b4", "c-1", AckResult::MissingSound, "缺少 上课.mp3", 1600}),
                                 "b4", 1600));

    const CommandOutcome& sent = board.commands().front();
    const struct {
        std::int64_t at;
        std::vector<std::string> expected;
    } moments[] = {
        {5000, {"b2:已响铃", "b3:等待应答", "b4:缺少声音"}},
        {10'999, {"b2:已响铃", "b3:等待应答", "b4:缺少声音"}},
        {11'000, {"b2:已响铃", "b3:无应答", "b4:缺少声音"}},
    };
    for (const auto& m : moments) {
        std::vector<std::string> shown;
        for (const auto& answer : sent.answers)
            shown.push_back(answer.node + ":" + answerText(sent, answer, m.at));
        EXPECT_EQ(shown, m.expected) << m.at;
    }

    for (int i = 0; i < 60; ++i)
        board.commandSent({"d-" + std::to_string(i), {}, CommandKind::Stop, "", "", 2000, 10});
    EXPECT_EQ(board.commands().size(), NodeBoard::kCommandsKept);
    EXPECT_EQ(board.commands().front().command.id, "d-59");
    EXPECT_EQ(board.commands().front().answers.size(), 3u);
}

} // namespace
} // namespace halvix::campus
