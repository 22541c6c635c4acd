#include "campus/CommandDesk.h"
#include "bell/RingResult.h"
#include "ringlog/RingLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

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

TEST(CommandDesk, ActsOnceOnWhatIsForThisNodeAndToday) {
    const struct {
        const char* what;
        std::string payload;
        Action action;
        const char* answer; // the answer's label when Answer
    } cases[] = {
        {"ring", writeCommand(command("c1", CommandKind::Play)), Action::Act, nullptr},
        {"ring delivered again", writeCommand(command("c1", CommandKind::Play)), Action::Answer, "执行失败"},
        {"stop", writeCommand(command("c3", CommandKind::Stop)), Action::Act, nullptr},
        {"mute for today", writeCommand(command("c4", CommandKind::Mute)), Action::Act, nullptr},
        {"mute for another day", writeCommand([] {
             Command c = command("c5", CommandKind::Mute);
             c.date = "2026-12-09";
             return c;
         }()),
         Action::Answer, "已拒绝"},
        {"my zone", writeCommand(command("c6", CommandKind::Reload, {CommandTarget::Scope::Zone, "lab"})),
         Action::Act, nullptr},
        {"another node", writeCommand(command("c7", CommandKind::Play, {CommandTarget::Scope::Node, "b2"})),
         Action::Ignore, nullptr},
        {"not a command", "{\"id\":", Action::Ignore, nullptr},
    };
    CommandMemory memory;
    CommandDesk desk("b1", {"teach", "lab"}, memory);
    for (const auto& c : cases) {
        const CommandDecision decision = desk.receive(c.payload, "2026-12-08", 200'000);
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
        again.receive(writeCommand(command("c4", CommandKind::Mute)), "2026-12-08", 300'000);
    EXPECT_EQ(decision.action, Action::Answer);
    EXPECT_EQ(decision.ack.result, AckResult::Muted);
}

// The sender's clock may be off by anything: what the broker delivers is acted on once, and the
// same command delivered again at any moment of its life (after restarts too) never acts again.
TEST(CommandDesk, ASendersClockNeitherExpiresACommandNorLetsItActTwice) {
    std::mt19937 random(20261208);
    std::uniform_int_distribution<std::int64_t> offsetMs(-2 * 86400'000LL, 2 * 86400'000LL);
    std::uniform_int_distribution<std::uint32_t> expiry(1, 2 * 86400);
    constexpr std::int64_t kArrivalMs = 1'765'180'800'000;
    for (int round = 0; round < 200; ++round) {
        Command sent = command("c" + std::to_string(round), CommandKind::Stop);
        sent.issuedMs = std::max<std::int64_t>(0, kArrivalMs + offsetMs(random));
        sent.expirySeconds = expiry(random);
        CommandMemory memory(4);
        CommandDesk desk("b1", {"lab"}, memory);
        const CommandDecision first = desk.receive(writeCommand(sent), "2026-12-08", kArrivalMs);
        ASSERT_EQ(first.action, Action::Act) << "issued " << sent.issuedMs - kArrivalMs << " ms from arrival";
        desk.finish(sent, AckResult::Stopped, "", kArrivalMs + 5);
        // Other commands arrive meanwhile, filling the memory with ids of short life.
        for (int other = 0; other < 6; ++other) {
            Command filler = command("f" + std::to_string(other), CommandKind::Stop);
            filler.expirySeconds = 1;
            desk.receive(writeCommand(filler), "2026-12-08", kArrivalMs + 10 + other);
        }
        std::uniform_int_distribution<std::int64_t> within(0, std::int64_t{sent.expirySeconds} * 1000);
        const std::int64_t againMs = kArrivalMs + within(random);
        CommandMemory restarted(4);
        restarted.load(memory.save(), againMs);
        CommandDesk after("b1", {"lab"}, restarted);
        const CommandDecision again = after.receive(writeCommand(sent), "2026-12-08", againMs);
        EXPECT_EQ(again.action, Action::Answer) << "again " << againMs - kArrivalMs << " ms after arrival";
        EXPECT_EQ(again.ack.result, AckResult::Stopped);
    }
}

TEST(CommandDesk, AMemoryFullOfLiveIdsRefusesANewCommandUntilOneHasLived) {
    CommandMemory memory(2);
    CommandDesk desk("b1", {"lab"}, memory);
    Command longLived = command("long", CommandKind::Stop);
    longLived.expirySeconds = 60;
    for (const char* id : {"a", "b"}) {
        longLived.id = id;
        ASSERT_EQ(desk.receive(writeCommand(longLived), "2026-12-08", 1000).action, Action::Act);
    }
    const Command next = command("c", CommandKind::Stop);
    const CommandDecision refused = desk.receive(writeCommand(next), "2026-12-08", 2000);
    EXPECT_EQ(refused.action, Action::Answer);
    EXPECT_EQ(refused.ack.result, AckResult::Refused);
    EXPECT_NE(refused.ack.detail.find("命令过多"), std::string::npos);
    EXPECT_EQ(memory.resultOf("c"), nullptr);
    // Once the first ids' life is over, the same command is acted on.
    EXPECT_EQ(desk.receive(writeCommand(next), "2026-12-08", 61'001).action, Action::Act);
    EXPECT_EQ(memory.size(), 2u);
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
