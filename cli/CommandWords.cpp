#include "cli/CommandWords.h"

#include "common/IdText.h"
#include "emergency/EmergencyState.h"

#include <array>
#include <string_view>

namespace halvix {

namespace {

struct CommandName {
    std::string_view name;
    CommandKind kind;
    std::size_t minWords; // arguments after the name
    std::size_t maxWords;
    std::string_view usage;
    std::string_view what; // for --help
};

constexpr std::array<CommandName, 11> kCommands{{
    {"plan", CommandKind::Plan, 0, 1, "plan [YYYY-MM-DD]",
     "某日 (默认今天) 的计划及其依据: 时间、事件、声音"},
    {"check", CommandKind::Check, 0, 1, "check [YYYY-MM-DD]",
     "检查某日要响的声音和本机能否放音, 有问题时退出状态为 1"},
    {"log", CommandKind::Log, 0, 5, "log [--since YYYY-MM-DD] [--node 节点] [--csv]",
     "响铃记录 (--node: 只列出这个节点发来的记录; --csv: 表格软件能打开的 CSV, 与导出的文件同为国标码 "
     "(代码页 936), 含国标码以外的字符时改用带标记的统一码)"},
    {"ring", CommandKind::Ring, 1, 1, "ring 声音",
     "让运行中的程序立即播放声音, 放出后才回答; 未响时退出状态为 1"},
    {"stop", CommandKind::Stop, 0, 0, "stop", "停止播放"},
    {"mute", CommandKind::Mute, 0, 0, "mute", "今日静音"},
    {"unmute", CommandKind::Unmute, 0, 0, "unmute", "恢复响铃"},
    {"export", CommandKind::Export, 2, 2, "export 表 文件", "把表导出为 CSV 文件"},
    {"import", CommandKind::Import, 2, 3, "import [--empty] 表 文件",
     "从 CSV 文件导入表 (先检查每一行; --empty: 以空文件清空此表)"},
    {"emergency", CommandKind::Emergency, 0, 1 + 2 * kMaxEmergencyZones,
     "emergency [声音 [--zone 区域]... | clear]",
     "紧急广播: 循环播放 voic 中的声音, 计划的铃声不响, 直到 clear 解除; 不带参数显示状态"},
    {"campus", CommandKind::Campus, 1, 7, "campus push|nodes|send ...", ""},
}};

std::optional<CivilDate> readDate(const std::string& text, std::string& error) {
    auto date = readDateText(text);
    if (!date)
        error = "日期无效: \"" + text + "\" (应为 YYYY-MM-DD)";
    return date;
}

// log's own options, in any order.
bool readLogOptions(const TextList& args, Command& command, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--csv" && !command.csv) {
            command.csv = true;
        } else if (args[i] == "--since" && !command.date) {
            if (i + 1 == args.size()) {
                error = "--since 后缺少日期";
                return false;
            }
            command.date = readDate(args[++i], error);
            if (!command.date)
                return false;
        } else if (args[i] == "--node" && command.node.empty()) {
            if (i + 1 == args.size() || !isValidId(args[i + 1])) {
                error = i + 1 == args.size() ? "--node 后缺少节点编号"
                                             : "节点编号无效: \"" + args[i + 1] + "\" (字母、数字、- 和 _)";
                return false;
            }
            command.node = args[++i];
        } else {
            error = "log 不认识的参数: \"" + args[i] + "\"";
            return false;
        }
    }
    return true;
}

// emergency's words: nothing (show), clear, or a sound with its zones.
bool readEmergencyWords(const TextList& args, Command& command, std::string& error) {
    if (args.empty())
        return true;
    if (args.size() == 1 && args[0] == "clear") {
        command.clear = true;
        return true;
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--zone") {
            if (i + 1 == args.size() || !isValidId(args[i + 1])) {
                error = "--zone 后应为区域编号 (ASCII 字母、数字、- 或 _)";
                return false;
            }
            command.zones.push_back(args[++i]);
        } else if (command.sound.empty()) {
            command.sound = args[i];
        } else {
            error = "emergency 不认识的参数: \"" + args[i] + "\"";
            return false;
        }
    }
    if (command.sound.empty()) {
        error = "用法: halvix emergency 声音 [--zone 区域]";
        return false;
    }
    if (const std::string why = emergencySoundProblem(command.sound); !why.empty()) {
        error = "紧急广播的声音无效: " + command.sound + ": " + why;
        return false;
    }
    return true;
}

} // namespace

std::optional<Command> parseCommand(const TextList& words, std::string& error) {
    Command command;
    if (words.empty())
        return command;
    const CommandName* found = nullptr;
    for (const CommandName& name : kCommands)
        if (name.name == words.front())
            found = &name;
    if (!found) {
        error = "未知命令: \"" + words.front() + "\"";
        return std::nullopt;
    }
    const TextList args(words.begin() + 1, words.end());
    if (args.size() < found->minWords || args.size() > found->maxWords) {
        error = "用法: halvix " + std::string(found->usage);
        return std::nullopt;
    }
    command.kind = found->kind;
    switch (command.kind) {
    case CommandKind::Plan:
    case CommandKind::Check:
        if (!args.empty() && !(command.date = readDate(args[0], error)))
            return std::nullopt;
        break;
    case CommandKind::Log:
        if (!readLogOptions(args, command, error))
            return std::nullopt;
        break;
    case CommandKind::Ring:
        if (args[0].empty() || args[0].find_first_of("\t\r\n") != std::string::npos) {
            error = "声音名称无效";
            return std::nullopt;
        }
        command.sound = args[0];
        break;
    case CommandKind::Emergency:
        if (!readEmergencyWords(args, command, error))
            return std::nullopt;
        break;
    case CommandKind::Export:
    case CommandKind::Import: {
        // --empty, anywhere among import's words, lets a file without rows empty the table.
        TextList names;
        for (const std::string& arg : args) {
            if (command.kind == CommandKind::Import && arg == "--empty" && !command.emptyAllowed)
                command.emptyAllowed = true;
            else
                names.push_back(arg);
        }
        if (names.size() != 2) {
            error = "用法: halvix " + std::string(found->usage);
            return std::nullopt;
        }
        command.table = names[0];
        command.file = names[1];
        if (command.file.empty()) {
            error = "缺少文件名";
            return std::nullopt;
        }
        break;
    }
    case CommandKind::Campus: {
        const auto campus = parseCampusWords(args, error);
        if (!campus)
            return std::nullopt;
        command.campus = *campus;
        break;
    }
    default:
        break;
    }
    return command;
}

bool needsRunningBell(CommandKind kind) {
    return kind == CommandKind::Ring || kind == CommandKind::Stop || kind == CommandKind::Mute ||
           kind == CommandKind::Unmute;
}

namespace {

// One line of --help, the descriptions in one column (on a line of their own after a long usage).
std::string usageLine(std::string_view usageText, std::string_view what) {
    const std::string usage = "  " + std::string(usageText);
    // A terminal shows a Chinese character (three bytes, the first not a continuation byte)
    // two columns wide.
    std::size_t columns = 0;
    for (const char c : usage)
        columns += (static_cast<unsigned char>(c) & 0xc0) == 0x80 ? 0 : (c & 0x80) ? 2 : 1;
    if (columns >= 36)
        return usage + "\n" + std::string(36, ' ') + std::string(what) + "\n";
    return usage + std::string(36 - columns, ' ') + std::string(what) + "\n";
}

} // namespace

std::string commandUsage() {
    std::string text = "命令:\n";
    for (const CommandName& name : kCommands)
        if (name.kind != CommandKind::Campus) // its own lines follow
            text += usageLine(name.usage, name.what);
    for (const auto& [usage, what] : campusUsage())
        text += usageLine(usage, what);
    return text;
}

} // namespace halvix
