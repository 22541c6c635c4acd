#include "cli/CommandWords.h"

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

constexpr std::array<CommandName, 10> kCommands{{
    {"plan", CommandKind::Plan, 0, 1, "plan [YYYY-MM-DD]",
     "某日 (默认今天) 的计划及其依据: 时间、事件、声音"},
    {"check", CommandKind::Check, 0, 1, "check [YYYY-MM-DD]", "检查某日要响的声音, 有问题时退出状态为 1"},
    {"log", CommandKind::Log, 0, 3, "log [--since YYYY-MM-DD] [--csv]", "响铃记录"},
    {"ring", CommandKind::Ring, 1, 1, "ring 声音", "让运行中的程序立即播放声音"},
    {"stop", CommandKind::Stop, 0, 0, "stop", "停止播放"},
    {"mute", CommandKind::Mute, 0, 0, "mute", "今日静音"},
    {"unmute", CommandKind::Unmute, 0, 0, "unmute", "恢复响铃"},
    {"export", CommandKind::Export, 2, 2, "export 表 文件", "把表导出为 CSV 文件"},
    {"import", CommandKind::Import, 2, 3, "import [--empty] 表 文件",
     "从 CSV 文件导入表 (先检查每一行; --empty: 以空文件清空此表)"},
    {"campus", CommandKind::CampusStatus, 1, 1, "campus status",
     "本机在校园中的连接、已应用的版本、上次同步和时钟"},
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
        } else {
            error = "log 不认识的参数: \"" + args[i] + "\"";
            return false;
        }
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
    case CommandKind::CampusStatus:
        if (args[0] != "status") {
            error = "用法: halvix campus status";
            return std::nullopt;
        }
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
    default:
        break;
    }
    return command;
}

bool needsRunningBell(CommandKind kind) {
    return kind == CommandKind::Ring || kind == CommandKind::Stop || kind == CommandKind::Mute ||
           kind == CommandKind::Unmute;
}

std::string commandUsage() {
    std::string text = "命令:\n";
    for (const CommandName& name : kCommands) {
        const std::string usage = "  " + std::string(name.usage);
        // A terminal shows a Chinese character (three bytes, the first not a continuation byte)
        // two columns wide.
        std::size_t columns = 0;
        for (const char c : usage)
            columns += (static_cast<unsigned char>(c) & 0xc0) == 0x80 ? 0 : (c & 0x80) ? 2 : 1;
        text += usage + std::string(columns < 36 ? 36 - columns : 2, ' ') + std::string(name.what) + "\n";
    }
    return text;
}

} // namespace halvix
