#include "campus/CommandComposer.h"

#include <gtest/gtest.h>

#include <set>

namespace halvix::campus {
namespace {

constexpr std::int64_t kNowMs = 1796716800123;
const LocalTime kMorning{2026, 12, 8, 8, 0, 0, 2};

TEST(CommandComposer, FillsExpiryDateAndChecksWhatWasAsked) {
    const CommandTarget b1{CommandTarget::Scope::Node, "b1"};
    const CommandTarget all{};
    struct Case {
        const char* what;
        CommandRequest request;
        LocalTime now;
        std::uint32_t expiry; // when composed
        const char* date;
        const char* problem; // a part of it; nullptr: composed
    };
    const std::vector<Case> cases = {
        {"play", {CommandKind::Play, b1, "上课.mp3", {}}, kMorning, 10, "", nullptr},
        {"stop", {CommandKind::Stop, all, "", {}}, kMorning, 10, "", nullptr},
        {"mute until midnight", {CommandKind::Mute, all, "", {}}, kMorning, 16 * 3600, "2026-12-08", nullptr},
        {"unmute late",
         {CommandKind::Unmute, all, "", {}},
         {2026, 12, 8, 23, 59, 30, 2},
         30,
         "2026-12-08",
         nullptr},
        {"mute in the last second",
         {CommandKind::Mute, all, "", {}},
         {2026, 12, 31, 23, 59, 59, 4},
         1,
         "2026-12-31",
         nullptr},
        {"reload",
         {CommandKind::Reload, {CommandTarget::Scope::Zone, "lab"}, "", {}},
         kMorning,
         60,
         "",
         nullptr},
        {"expiry given wins", {CommandKind::Play, b1, "上课.mp3", 60}, kMorning, 60, "", nullptr},
        {"mute expiry given", {CommandKind::Mute, all, "", 3600}, kMorning, 3600, "2026-12-08", nullptr},
        {"two days at most", {CommandKind::Play, b1, "上课.mp3", 2 * 86400 + 1}, kMorning, 0, "", "有效期"},
        {"no zero expiry", {CommandKind::Stop, all, "", 0}, kMorning, 0, "", "有效期"},
        {"play without sound", {CommandKind::Play, b1, "", {}}, kMorning, 0, "", "声音"},
        {"sound out of voic", {CommandKind::Play, b1, "../jbase.mdb", {}}, kMorning, 0, "", "../jbase.mdb"},
        {"stop with a sound", {CommandKind::Stop, all, "上课.mp3", {}}, kMorning, 0, "", "不带声音"},
        {"bad node id",
         {CommandKind::Stop, {CommandTarget::Scope::Node, "b/1"}, "", {}},
         kMorning,
         0,
         "",
         "标识"},
        {"no zone id",
         {CommandKind::Stop, {CommandTarget::Scope::Zone, ""}, "", {}},
         kMorning,
         0,
         "",
         "标识"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CommandComposer composer("office");
        std::string problem;
        const auto command = composer.compose(c.request, kNowMs, c.now, problem);
        if (c.problem) {
            EXPECT_FALSE(command);
            EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
            continue;
        }
        ASSERT_TRUE(command) << problem;
        EXPECT_EQ(command->expirySeconds, c.expiry);
        EXPECT_EQ(command->date, c.date);
        EXPECT_EQ(command->target, c.request.target);
        EXPECT_EQ(command->issuedMs, kNowMs);
        // What the central composes, every node must accept.
        const CommandRead read = readCommand(writeCommand(*command));
        ASSERT_TRUE(read.ok()) << read.problem;
        EXPECT_EQ(read.command, *command);
    }
}

TEST(CommandComposer, IdsStayUniqueWithinAMillisecondAndAcrossRestarts) {
    const CommandRequest stop{CommandKind::Stop, {}, "", {}};
    std::set<std::string> ids;
    std::string problem;
    CommandComposer first("office");
    for (int i = 0; i < 3; ++i)
        ids.insert(first.compose(stop, kNowMs, kMorning, problem)->id);
    // A restart begins counting again, a millisecond or more later.
    CommandComposer restarted("office");
    ids.insert(restarted.compose(stop, kNowMs + 1, kMorning, problem)->id);
    CommandComposer elsewhere("office", 4242);
    ids.insert(elsewhere.compose(stop, kNowMs, kMorning, problem)->id);
    EXPECT_EQ(ids.size(), 5u);
}

} // namespace
} // namespace halvix::campus
