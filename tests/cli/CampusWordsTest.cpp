#include "cli/CommandWords.h"

#include <gtest/gtest.h>

namespace halvix {
namespace {

using campus::CommandKind;
using campus::CommandTarget;

TEST(CampusWords, ReadsWhatToSendAndToWhom) {
    const CommandTarget b1{CommandTarget::Scope::Node, "b1"};
    const CommandTarget lab{CommandTarget::Scope::Zone, "lab"};
    struct Case {
        TextList words;
        std::optional<CampusWords> expected; // nothing: refused
        const char* reason = "";             // a part of the refusal
    };
    const auto send = [](CommandKind kind, CommandTarget target, std::string sound = {},
                         std::optional<std::uint32_t> expiry = {}) {
        return CampusWords{CampusWords::Action::Send, {kind, std::move(target), std::move(sound), expiry}};
    };
    const std::vector<Case> cases = {
        {{"campus", "push"}, CampusWords{CampusWords::Action::Push, {}}},
        {{"campus", "nodes"}, CampusWords{CampusWords::Action::Nodes, {}}},
        {{"campus", "status"}, CampusWords{CampusWords::Action::Status, {}}},
        {{"campus", "send", "play", "上课.mp3", "--node", "b1"}, send(CommandKind::Play, b1, "上课.mp3")},
        {{"campus", "send", "play", "上课.mp3", "--expiry", "60", "--zone", "lab"},
         send(CommandKind::Play, lab, "上课.mp3", 60)},
        {{"campus", "send", "mute", "--all"}, send(CommandKind::Mute, {})},
        {{"campus", "send", "reload", "--zone", "lab", "--expiry", "5"},
         send(CommandKind::Reload, lab, {}, 5)},
        {{"campus"}, {}, "用法: halvix campus"},
        {{"campus", "push", "now"}, {}, "用法: halvix campus"},
        {{"campus", "send", "ring", "--all"}, {}, "用法: halvix campus send"},
        {{"campus", "send", "play", "--all"}, {}, "需要声音"},
        {{"campus", "send", "stop"}, {}, "--node、--zone 或 --all"},
        {{"campus", "send", "stop", "--node", "b1", "--all"}, {}, "只能给出"},
        {{"campus", "send", "stop", "--node"}, {}, "--node 后缺少值"},
        {{"campus", "send", "stop", "--all", "--expiry", "ten"}, {}, "秒数"},
        {{"campus", "send", "stop", "--all", "--expiry", "-1"}, {}, "秒数"},
        {{"campus", "send", "stop", "--all", "--loud"}, {}, "\"--loud\""},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto command = parseCommand(c.words, error);
        SCOPED_TRACE(c.words.size() > 1 ? c.words[1] : "campus");
        if (!c.expected) {
            EXPECT_FALSE(command);
            EXPECT_NE(error.find(c.reason), std::string::npos) << error;
            continue;
        }
        ASSERT_TRUE(command) << error;
        EXPECT_EQ(command->kind, halvix::CommandKind::Campus);
        EXPECT_EQ(command->campus, *c.expected);
    }
}

} // namespace
} // namespace halvix
