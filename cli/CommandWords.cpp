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
};

constexpr std::array<CommandName, 9> kCommands{{
    {"plan", CommandKind::Plan, 0, 1, "plan [YYYY-MM-DD]"},
    {"check", CommandKind::Check, 0, 1, "check [YYYY-MM-DD]"},
    {"log", CommandKind::Log, 0, 3, "log [--since YYYY-MM-DD] [--csv]"},
    {"ring", CommandKind::Ring, 1, 1, "ring 声音"},
    {"stop", CommandKind::Stop, 0, 0, "stop"},
    {"mute", CommandKind::Mute, 0, 0, "mute"},
    {"unmute", CommandKind::Unmute, 0, 0, "unmute"},
    {"export", CommandKind::Export, 2, 2, "export 表 文件"},
    {"import", CommandKind::Import, 2, 3, "import [--empty] 表 文件"},
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
    for (const CommandName& name : kCommands)
        text += "  " + std::string(name.usage) + "\n";
    return text;
}

} // namespace halvix
