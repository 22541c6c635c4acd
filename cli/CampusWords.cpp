#include "cli/CampusWords.h"

#include <array>
#include <charconv>
#include <string_view>

namespace halvix {

namespace {

using campus::CommandKind;
using campus::CommandTarget;

constexpr std::string_view kSendUsage = "用法: halvix campus send play 声音|stop|mute|unmute|reload (--node "
                                        "节点|--zone 区域|--all) [--expiry 秒]";

struct KindWord {
    std::string_view word;
    CommandKind kind;
};
constexpr std::array<KindWord, 5> kKinds{{
    {"play", CommandKind::Play},
    {"stop", CommandKind::Stop},
    {"mute", CommandKind::Mute},
    {"unmute", CommandKind::Unmute},
    {"reload", CommandKind::Reload},
}};

std::optional<std::uint32_t> readSeconds(const std::string& text) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

bool readSend(const TextList& args, campus::CommandRequest& request, std::string& error) {
    const KindWord* kind = nullptr;
    for (const KindWord& candidate : kKinds)
        if (args.size() > 1 && candidate.word == args[1])
            kind = &candidate;
    if (!kind) {
        error = kSendUsage;
        return false;
    }
    request.kind = kind->kind;
    std::size_t i = 2;
    if (request.kind == CommandKind::Play) {
        if (args.size() <= i || args[i].rfind("--", 0) == 0) {
            error = "立即播放需要声音的名字\n" + std::string(kSendUsage);
            return false;
        }
        request.sound = args[i++];
    }
    bool targeted = false;
    for (; i < args.size(); ++i) {
        const std::string& word = args[i];
        const bool takesValue = word == "--node" || word == "--zone" || word == "--expiry";
        if (takesValue && i + 1 == args.size()) {
            error = word + " 后缺少值";
            return false;
        }
        if ((word == "--node" || word == "--zone" || word == "--all") && targeted) {
            error = "只能给出 --node、--zone、--all 中的一个";
            return false;
        }
        if (word == "--node" || word == "--zone") {
            request.target = {word == "--node" ? CommandTarget::Scope::Node : CommandTarget::Scope::Zone,
                              args[++i]};
            targeted = true;
        } else if (word == "--all") {
            request.target = {};
            targeted = true;
        } else if (word == "--expiry" && !request.expirySeconds) {
            request.expirySeconds = readSeconds(args[++i]);
            if (!request.expirySeconds) {
                error = "有效期应为秒数: \"" + args[i] + "\"";
                return false;
            }
        } else {
            error = "campus send 不认识的参数: \"" + word + "\"";
            return false;
        }
    }
    if (!targeted) {
        error = "请给出 --node、--zone 或 --all\n" + std::string(kSendUsage);
        return false;
    }
    return true;
}

} // namespace

std::optional<CampusWords> parseCampusWords(const TextList& args, std::string& error) {
    CampusWords words;
    const std::string first = args.empty() ? std::string() : args[0];
    if (first == "send") {
        words.action = CampusWords::Action::Send;
        if (!readSend(args, words.request, error))
            return std::nullopt;
        return words;
    }
    if (args.size() == 1 && (first == "push" || first == "nodes" || first == "status")) {
        words.action = first == "push"    ? CampusWords::Action::Push
                       : first == "nodes" ? CampusWords::Action::Nodes
                                          : CampusWords::Action::Status;
        return words;
    }
    error = "用法: halvix campus push|nodes|send|status ...";
    return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> campusUsage() {
    return {{"campus status", "本机在校园中的连接、已应用的版本、上次同步和时钟"},
            {"campus push", "(主控) 立即发布共享计划"},
            {"campus nodes", "(主控) 各节点的状态; 有离线、未同步或声音有问题的节点时退出状态为 1"},
            {"campus send play 声音|stop|mute|unmute|reload (--node 节点|--zone 区域|--all) [--expiry 秒]",
             "(主控) 向节点发送命令, 列出各节点的应答"}};
}

} // namespace halvix
