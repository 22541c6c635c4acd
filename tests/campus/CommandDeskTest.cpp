#include "campus/CommandDesk.h"
#include "bell/RingResult.h"
#include "ringlog/RingLog.h"

#include <gtest/gtest.h>

namespace halvix::campus {
namespace {

using Action = CommandDecision::Action;

Command command(const std::string& id, CommandKind kind,
                CommandTarget target = {CommandTarget::Scope::All, ""}) {
    Command c;
    c.id = id;
    c.kind = kind;
    c.target = std::move(target);
    c.sound = kind == CommandKind::Play ? "上课.mp3" : "";
    c.date = kind == CommandKind::Mute || kind == CommandKind::Unmute ? "2026-12-08" : "";
    c.issuedMs = 100'000;
    c.expirySeconds = 10;
    return c;
}

TEST(CommandDesk, ActsOnceOnWhatIsForThisNodeTodayAndInTime) {
    const struct {
        const char* what;
        std::string payload;
        std::optional<std::int64_t> centralNow;
        Action action;
        const char* answer; // the answer's label when Answer
    } cases[] = {
        {"ring", writeCommand(command("c1", CommandKind::Play)), 105'000, Action::Act, nullptr},
        {"ring delivered again", writeCommand(command("c1", CommandKind::Play)), 105'000, Action::Answer,
         "执行失败"},
        {"ring after its expiry", writeCommand(command("c2", CommandKind::Play)), 110'001, Action::Answer,
         "已过期"},
        {"expiry unknown without the central's time", writeCommand(command("c3", CommandKind::Stop)),
         std::nullopt, Action::Act, nullptr},
        {"mute for today", writeCommand(command("c4", CommandKind::Mute)), 100'000, Action::Act, nullptr},
        {"mute for another day", writeCommand([] {
             Command c = command("c5", CommandKind::Mute);
             c.date = "2026-12-09";
             return c;
         }()),
         100'000, Action::Answer, "已拒绝"},
        {"my zone", writeCommand(command("c6", CommandKind::Reload, {CommandTarget::Scope::Zone, "lab"})),
         100'000, Action::Act, nullptr},
        {"another node", writeCommand(command("c7", CommandKind::Play, {CommandTarget::Scope::Node, "b2"})),
         100'000, Action::Ignore, nullptr},
        {"not a command", "{\"id\":", 100'000, Action::Ignore, nullptr},
    };
    CommandMemory memory;
    CommandDesk desk("b1", {"teach", "lab"}, memory);
    for (const auto& c : cases) {
        const CommandDecision decision = desk.receive(c.payload, "2026-12-08", 200'000, c.centralNow);
        EXPECT_EQ(decision.action, c.action) << c.what << ": " << decision.problem;
        if (c.answer) {
            EXPECT_EQ(ackLabel(decision.ack.result), std::string(c.answer)) << c.what;
            EXPECT_EQ(decision.ack.node, "b1");
        }
        if (c.action == Action::Ignore) {
            EXPECT_FALSE(decision.problem.empty()) << c.what;
        }
    }

    // Once done, a delivery again gets the real answer, also after a restart.
    const CommandAck done = desk.finish(command("c4", CommandKind::Mute), AckResult::Muted, "", 201'000);
    EXPECT_EQ(done.result, AckResult::Muted);
    CommandMemory restarted;
    restarted.load(memory.save(), 300'000);
    CommandDesk again("b1", {"lab"}, restarted);
    const CommandDecision decision =
        again.receive(writeCommand(command("c4", CommandKind::Mute)), "2026-12-08", 300'000, std::nullopt);
    EXPECT_EQ(decision.action, Action::Answer);
    EXPECT_EQ(decision.ack.result, AckResult::Muted);
}

TEST(CommandDesk, APlayIsAnsweredPlayedOnlyWhenItWasHeard) {
    const struct {
        RingResult result;
        const char* note;
        AckResult answer;
        const char* detail;
    } cases[] = {
        {RingResult::Manual, "", AckResult::Played, ""},
        {RingResult::Missing, "voic 中没有文件 上课.mp3", AckResult::MissingSound,
         "上课.mp3: voic 中没有文件 上课.mp3"},
        {RingResult::Unplayable, "voic/上课.mp3 是空文件", AckResult::MissingSound,
         "上课.mp3: voic/上课.mp3 是空文件"},
        {RingResult::NoOutput, "无法连接声音服务器 (没有运行的声音服务器)", AckResult::Failed,
         "无声音输出: 无法连接声音服务器 (没有运行的声音服务器)"},
        {RingResult::Inaudible, "输出设备已静音", AckResult::Failed, "音量为零: 输出设备已静音"},
        {RingResult::Stopped, "被下一个铃声替换", AckResult::Failed, "已停止: 被下一个铃声替换"},
        {RingResult::Emergency, "", AckResult::Failed, "紧急广播中"},
    };
    for (const auto& c : cases) {
        const RingRow row{"2026-12-08 10:00:00.000",         "", "立即播放", "上课.mp3",
                          std::string(resultWord(c.result)), 0,  c.note,     ""};
        const auto [answer, detail] = playAnswer(row);
        EXPECT_EQ(ackLabel(answer), std::string(ackLabel(c.answer))) << row.result;
        EXPECT_EQ(detail, c.detail) << row.result;
    }
    // Whatever the result: 已响铃 exactly when heard, and otherwise the reason goes with the answer.
    for (int value = 0; value <= static_cast<int>(RingResult::Inaudible); ++value) {
        const auto result = static_cast<RingResult>(value);
        const RingRow row{"", "", "立即播放", "上课.mp3", std::string(resultWord(result)), 0, "原因", ""};
        const auto [answer, detail] = playAnswer(row);
        EXPECT_EQ(answer == AckResult::Played, result == RingResult::Manual) << row.result;
        if (answer != AckResult::Played) {
            EXPECT_NE(detail.find("原因"), std::string::npos) << row.result;
        }
    }
}

} // namespace
} // namespace halvix::campus
