// The command's words: every command's arguments are read or refused with a reason.
#include "cli/CommandWords.h"

#include <gtest/gtest.h>

namespace halvix {
namespace {

Command make(CommandKind kind) {
    Command command;
    command.kind = kind;
    return command;
}

TEST(CommandWords, EveryCommandReadsItsArguments) {
    Command planDate = make(CommandKind::Plan);
    planDate.date = CivilDate{2025, 3, 12};
    Command checkSlash = make(CommandKind::Check);
    checkSlash.date = CivilDate{2025, 10, 1};
    Command logBoth = make(CommandKind::Log);
    logBoth.date = CivilDate{2025, 3, 1};
    logBoth.csv = true;
    Command logNode = logBoth;
    logNode.node = "syl-2";
    Command ring = make(CommandKind::Ring);
    ring.sound = "上课.mp3";
    Command ringFolder = make(CommandKind::Ring);
    ringFolder.sound = "voic\\课间操";
    Command exported = make(CommandKind::Export);
    exported.table = "zccjtime";
    exported.file = "/tmp/表.csv";
    Command imported = exported;
    imported.kind = CommandKind::Import;
    Command emptied = imported;
    emptied.emptyAllowed = true;
    Command alarm = make(CommandKind::Emergency);
    alarm.sound = "警报.mp3";
    Command zoned = alarm;
    zoned.zones = {"lab", "teach"};
    Command cleared = make(CommandKind::Emergency);
    cleared.clear = true;

    const struct {
        TextList words;
        Command expected;
    } cases[] = {
        {{}, make(CommandKind::None)},
        {{"plan"}, make(CommandKind::Plan)},
        {{"plan", "2025-03-12"}, planDate},
        {{"check", "2025/10/1"}, checkSlash},
        {{"log"}, make(CommandKind::Log)},
        {{"log", "--csv", "--since", "2025-03-01"}, logBoth},
        {{"log", "--since", "2025-03-01", "--csv"}, logBoth},
        {{"log", "--node", "syl-2", "--since", "2025-03-01", "--csv"}, logNode},
        {{"ring", "上课.mp3"}, ring},
        {{"ring", "voic\\课间操"}, ringFolder},
        {{"stop"}, make(CommandKind::Stop)},
        {{"mute"}, make(CommandKind::Mute)},
        {{"unmute"}, make(CommandKind::Unmute)},
        {{"export", "zccjtime", "/tmp/表.csv"}, exported},
        {{"import", "zccjtime", "/tmp/表.csv"}, imported},
        {{"import", "--empty", "zccjtime", "/tmp/表.csv"}, emptied},
        {{"import", "zccjtime", "/tmp/表.csv", "--empty"}, emptied},
        {{"emergency"}, make(CommandKind::Emergency)},
        {{"emergency", "警报.mp3"}, alarm},
        {{"emergency", "--zone", "lab", "警报.mp3", "--zone", "teach"}, zoned},
        {{"emergency", "clear"}, cleared},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto command = parseCommand(c.words, error);
        ASSERT_TRUE(command) << testing::PrintToString(c.words) << ": " << error;
        EXPECT_EQ(*command, c.expected) << testing::PrintToString(c.words);
    }
}

TEST(CommandWords, BadWordsAreRefusedWithTheReason) {
    const auto badDate = [](const std::string& word) {
        return "日期无效: \"" + word + "\" (应为 YYYY-MM-DD)";
    };
    const auto unknown = [](const std::string& word) { return "未知命令: \"" + word + "\""; };
    const struct {
        TextList words;
        std::string error;
    } cases[] = {
        {{"ringing"}, unknown("ringing")},
        {{"Plan"}, unknown("Plan")},
        {{"plan", "2025-02-29"}, badDate("2025-02-29")},
        {{"plan", "tomorrow"}, badDate("tomorrow")},
        {{"plan", "2025-03-12", "2025-03-13"}, "用法: halvix plan [YYYY-MM-DD]"},
        {{"check", "13/03/2025"}, badDate("13/03/2025")},
        {{"log", "--since"}, "--since 后缺少日期"},
        {{"log", "--since", "yesterday"}, badDate("yesterday")},
        {{"log", "--csv", "--csv"}, "log 不认识的参数: \"--csv\""},
        {{"log", "--since", "2025-03-01", "--since", "2025-03-02"}, "log 不认识的参数: \"--since\""},
        {{"log", "--node"}, "--node 后缺少节点编号"},
        {{"log", "--node", "../b1"}, "节点编号无效: \"../b1\" (字母、数字、- 和 _)"},
        {{"log", "--node", "b1", "--node", "b2"}, "log 不认识的参数: \"--node\""},
        {{"log", "--node", "b1", "--since", "2025-03-01", "--csv", "x"},
         "用法: halvix log [--since YYYY-MM-DD] [--node 节点] [--csv]"},
        {{"log", "--json"}, "log 不认识的参数: \"--json\""},
        {{"ring"}, "用法: halvix ring 声音"},
        {{"ring", ""}, "声音名称无效"},
        {{"ring", "a\tb.mp3"}, "声音名称无效"},
        {{"ring", "上课.mp3", "下课.mp3"}, "用法: halvix ring 声音"},
        {{"stop", "now"}, "用法: halvix stop"},
        {{"export", "zccjtime"}, "用法: halvix export 表 文件"},
        {{"import", "zccjtime", ""}, "缺少文件名"},
        {{"import", "--empty", "zccjtime"}, "用法: halvix import [--empty] 表 文件"},
        {{"export", "--empty", "zccjtime", "x.csv"}, "用法: halvix export 表 文件"},
        {{"emergency", "警报.mp3", "--zone"}, "--zone 后应为区域编号 (ASCII 字母、数字、- 或 _)"},
        {{"emergency", "警报.mp3", "--zone", "实验楼"}, "--zone 后应为区域编号 (ASCII 字母、数字、- 或 _)"},
        {{"emergency", "--zone", "lab"}, "用法: halvix emergency 声音 [--zone 区域]"},
        {{"emergency", "警报.mp3", "下课.mp3"}, "emergency 不认识的参数: \"下课.mp3\""},
        {{"emergency", "课间操"}, "紧急广播的声音无效: 课间操: 应为 voic 中的一个声音文件 (如 警报.mp3)"},
        {{"emergency", "clear", "--zone", "lab"},
         "紧急广播的声音无效: clear: 应为 voic 中的一个声音文件 (如 警报.mp3)"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parseCommand(c.words, error)) << testing::PrintToString(c.words);
        EXPECT_EQ(error, c.error) << testing::PrintToString(c.words);
    }
}

TEST(CommandWords, OnlyTheTrayActionsNeedTheRunningBell) {
    const std::pair<CommandKind, bool> cases[] = {
        {CommandKind::Plan, false},      {CommandKind::Check, false},  {CommandKind::Log, false},
        {CommandKind::Export, false},    {CommandKind::Import, false}, {CommandKind::Ring, true},
        {CommandKind::Stop, true},       {CommandKind::Mute, true},    {CommandKind::Unmute, true},
        {CommandKind::Emergency, false},
    };
    for (const auto& [kind, needs] : cases)
        EXPECT_EQ(needsRunningBell(kind), needs) << static_cast<int>(kind);
}

} // namespace
} // namespace halvix
