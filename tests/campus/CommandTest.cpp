#include "campus/Command.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace halvix::campus {
namespace {

using nlohmann::json;

json playCommand() {
    return {{"format", 1},    {"id", "c-17"},        {"target", "node:b1"},
            {"kind", "play"}, {"sound", "上课.mp3"}, {"issuedMs", 1765180800000},
            {"expiry", 10}};
}

TEST(CommandRead, ChecksEveryFieldOfWhatArrives) {
    struct Case {
        const char* what;
        json change;        // merged into the play command; null values remove the field
        const char* reason; // nullptr: accepted
    };
    const std::vector<Case> cases = {
        {"play", json::object(), nullptr},
        {"zone", {{"target", "zone:lab"}}, nullptr},
        {"all", {{"target", "all"}}, nullptr},
        {"stop", {{"kind", "stop"}, {"sound", nullptr}}, nullptr},
        {"mute", {{"kind", "mute"}, {"sound", nullptr}, {"date", "2028-02-29"}}, nullptr},
        {"later field", {{"priority", 3}}, nullptr},
        {"no id", {{"id", nullptr}}, "编号"},
        {"id with slash", {{"id", "a/b"}}, "编号"},
        {"long id", {{"id", std::string(65, 'a')}}, "编号"},
        {"target wildcard", {{"target", "node:+"}}, "对象无效"},
        {"target scope", {{"target", "room:b1"}}, "对象无效"},
        {"target empty", {{"target", "node:"}}, "对象无效"},
        {"kind", {{"kind", "format-disk"}}, "未知的命令"},
        {"kind number", {{"kind", 1}}, "未知的命令"},
        {"play without sound", {{"sound", nullptr}}, "缺少声音"},
        {"play outside voic", {{"sound", "../../etc/passwd"}}, "voic"},
        {"stop with sound", {{"kind", "stop"}}, "不带声音"},
        {"mute without date", {{"kind", "mute"}, {"sound", nullptr}}, "日期"},
        {"mute on 30 February", {{"kind", "unmute"}, {"sound", nullptr}, {"date", "2026-02-30"}}, "日期"},
        {"mute on 29 February of a common year",
         {{"kind", "mute"}, {"sound", nullptr}, {"date", "2100-02-29"}},
         "日期"},
        {"issued negative", {{"issuedMs", -5}}, "发出时间"},
        {"issued text", {{"issuedMs", "now"}}, "发出时间"},
        {"no expiry", {{"expiry", nullptr}}, "有效期"},
        {"endless expiry", {{"expiry", 3 * 86400}}, "有效期"},
        {"format", {{"format", 2}}, "格式"},
    };
    for (const Case& c : cases) {
        json payload = playCommand();
        payload.merge_patch(c.change);
        const CommandRead read = readCommand(payload.dump());
        if (!c.reason) {
            EXPECT_TRUE(read.ok()) << c.what << ": " << read.problem;
            // What was read is written back the same way.
            EXPECT_EQ(readCommand(writeCommand(read.command)).command, read.command) << c.what;
        } else {
            EXPECT_NE(read.problem.find(c.reason), std::string::npos) << c.what << ": " << read.problem;
        }
    }
    EXPECT_FALSE(readCommand("{\"id\":").ok());
    EXPECT_FALSE(readCommand(std::string(5000, ' ') + playCommand().dump()).ok());
}

TEST(CommandRead, ReachesOnlyTheNodesItNames) {
    const std::vector<std::string> zones = {"teach", "lab"};
    const struct {
        CommandTarget target;
        bool reaches;
    } cases[] = {
        {{CommandTarget::Scope::Node, "b1"}, true},  {{CommandTarget::Scope::Node, "b2"}, false},
        {{CommandTarget::Scope::Zone, "lab"}, true}, {{CommandTarget::Scope::Zone, "gym"}, false},
        {{CommandTarget::Scope::All, ""}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isAddressedTo(c.target, "b1", zones), c.reaches) << c.target.id;
}

TEST(CommandMemory, ADeliveredAgainCommandGetsItsFirstResultAcrossARestart) {
    constexpr std::int64_t kDay = 86400 * 1000LL;
    CommandMemory memory(3, 2 * kDay);
    EXPECT_EQ(memory.resultOf("c1"), nullptr);
    memory.remember("c1", "已响铃", 0);
    ASSERT_NE(memory.resultOf("c1"), nullptr);
    EXPECT_EQ(*memory.resultOf("c1"), "已响铃");

    // Kept across a restart; lines that do not read are skipped.
    CommandMemory restarted(3, 2 * kDay);
    restarted.load(memory.save() + "garbage\n12\tbad id!\tx\n", 1000);
    ASSERT_NE(restarted.resultOf("c1"), nullptr);
    EXPECT_EQ(*restarted.resultOf("c1"), "已响铃");
    EXPECT_EQ(restarted.size(), 1u);

    // Bounded by count (the oldest goes first) and by age.
    restarted.remember("c2", "已停止", 2000);
    restarted.remember("c3", "已静音", 3000);
    restarted.remember("c4", "已停止", 4000);
    EXPECT_EQ(restarted.resultOf("c1"), nullptr);
    EXPECT_NE(restarted.resultOf("c2"), nullptr);
    restarted.remember("c5", "已停止", 2 * kDay + 3500);
    EXPECT_EQ(restarted.resultOf("c2"), nullptr);
    EXPECT_EQ(restarted.resultOf("c3"), nullptr);
    EXPECT_NE(restarted.resultOf("c4"), nullptr);
    CommandMemory later(3, 2 * kDay);
    later.load(restarted.save(), 5 * kDay);
    EXPECT_EQ(later.size(), 0u);
}

// Whatever arrives when: an id is never forgotten while the broker may still deliver it again, and
// the memory never holds more than its capacity when the desk asked for room first.
TEST(CommandMemory, NeverForgetsAnIdStillAliveAndStaysWithinItsCapacity) {
    std::mt19937 random(8);
    std::uniform_int_distribution<std::int64_t> step(0, 20'000);
    std::uniform_int_distribution<std::int64_t> lifetime(0, 120'000);
    constexpr std::size_t kCapacity = 16;
    CommandMemory memory(kCapacity, 60'000);
    std::map<std::string, std::int64_t> aliveUntil;
    std::int64_t now = 0;
    for (int i = 0; i < 2000; ++i) {
        now += step(random);
        if (i % 97 == 0) { // a restart
            CommandMemory restarted(kCapacity, 60'000);
            restarted.load(memory.save(), now);
            memory = restarted;
        }
        const std::string id = "c" + std::to_string(i);
        if (memory.hasRoom(now)) {
            const std::int64_t life = lifetime(random);
            memory.remember(id, "已停止", now, life);
            aliveUntil[id] = now + life;
        }
        ASSERT_LE(memory.size(), kCapacity);
        for (const auto& [seen, until] : aliveUntil)
            if (until >= now) {
                ASSERT_NE(memory.resultOf(seen), nullptr) << seen << " at " << now;
            }
    }
}

TEST(CommandMemory, ReadsLinesSavedBeforeIdsHadAnEndAsAliveForTheLongestExpiry) {
    constexpr std::int64_t kDay = 86400 * 1000LL;
    CommandMemory memory(1, kDay);
    memory.load("1000\tolder\t已响铃\n", 1000);
    ASSERT_NE(memory.resultOf("older"), nullptr);
    EXPECT_FALSE(memory.hasRoom(2 * kDay));
    EXPECT_TRUE(memory.hasRoom(2 * kDay + 1001));
    memory.remember("newer", "已停止", 2 * kDay + 1001);
    EXPECT_EQ(memory.resultOf("older"), nullptr);
    EXPECT_NE(memory.resultOf("newer"), nullptr);
}

} // namespace
} // namespace halvix::campus
