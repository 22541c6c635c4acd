#include "campus/Command.h"

#include "common/IdText.h"
#include "common/JsonInput.h"
#include "common/TextChecks.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <charconv>

namespace halvix::campus {

namespace {

using nlohmann::json;

constexpr std::size_t kMaxCommandId = 64;
constexpr std::uint32_t kMaxExpirySeconds = 2 * 86400;

struct KindName {
    CommandKind kind;
    const char* word;
    const char* label;
};
constexpr std::array<KindName, 5> kKinds{{
    {CommandKind::Play, "play", "立即播放"},
    {CommandKind::Stop, "stop", "停止播放"},
    {CommandKind::Mute, "mute", "今日静音"},
    {CommandKind::Unmute, "unmute", "恢复响铃"},
    {CommandKind::Reload, "reload", "重新载入"},
}};

bool isCommandId(std::string_view id) {
    if (id.empty() || id.size() > kMaxCommandId)
        return false;
    for (char c : id)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
              c == '_' || c == '.'))
            return false;
    return true;
}

bool readTarget(std::string_view text, CommandTarget& target) {
    if (text == "all") {
        target = {CommandTarget::Scope::All, {}};
        return true;
    }
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || !isValidId(text.substr(colon + 1)))
        return false;
    const std::string_view scope = text.substr(0, colon);
    if (scope != "node" && scope != "zone")
        return false;
    target = {scope == "node" ? CommandTarget::Scope::Node : CommandTarget::Scope::Zone,
              std::string(text.substr(colon + 1))};
    return true;
}

std::string targetText(const CommandTarget& target) {
    switch (target.scope) {
    case CommandTarget::Scope::Node:
        return "node:" + target.id;
    case CommandTarget::Scope::Zone:
        return "zone:" + target.id;
    case CommandTarget::Scope::All:
        break;
    }
    return "all";
}

int number(std::string_view digits) {
    int value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

// "YYYY-MM-DD" of a day that exists.
bool isDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u})
        if (text[i] < '0' || text[i] > '9')
            return false;
    const int year = number(text.substr(0, 4));
    const int month = number(text.substr(5, 2));
    const int day = number(text.substr(8, 2));
    if (year < 1970 || month < 1 || month > 12 || day < 1)
        return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::string commandProblem(const json& root, Command& command) {
    const auto format = unsignedField(root, "format");
    if (!format || *format != 1)
        return "命令格式不受支持";
    const auto id = textField(root, "id");
    if (!id || !isCommandId(*id))
        return "命令编号缺少或无效";
    command.id = *id;
    const auto target = textField(root, "target");
    if (!target || !readTarget(*target, command.target))
        return "命令的对象无效 (应为 node:编号, zone:编号 或 all)";
    const auto word = textField(root, "kind");
    const auto kind = std::find_if(kKinds.begin(), kKinds.end(),
                                   [&word](const KindName& k) { return word && *word == k.word; });
    if (kind == kKinds.end())
        return "未知的命令";
    command.kind = kind->kind;
    const auto issued = integerField(root, "issuedMs");
    if (!issued || *issued < 0)
        return "命令的发出时间缺少或无效";
    command.issuedMs = *issued;
    const auto expiry = unsignedField(root, "expiry");
    if (!expiry || *expiry == 0 || *expiry > kMaxExpirySeconds)
        return "命令的有效期缺少或无效 (1 秒到 2 天)";
    command.expirySeconds = static_cast<std::uint32_t>(*expiry);

    const auto sound = textField(root, "sound");
    if (command.kind == CommandKind::Play) {
        if (!sound)
            return "立即播放缺少声音";
        if (std::string problem = soundNameProblem(*sound); !problem.empty())
            return problem;
        command.sound = *sound;
    } else if (root.contains("sound")) {
        return std::string(kind->label) + "不带声音";
    }
    if (command.kind == CommandKind::Mute || command.kind == CommandKind::Unmute) {
        const auto date = textField(root, "date");
        if (!date || !isDate(*date))
            return std::string(kind->label) + "缺少有效的日期 (YYYY-MM-DD)";
        command.date = *date;
    }
    return {};
}

} // namespace

const char* commandWord(CommandKind kind) {
    for (const KindName& k : kKinds)
        if (k.kind == kind)
            return k.word;
    return "";
}

const char* commandLabel(CommandKind kind) {
    for (const KindName& k : kKinds)
        if (k.kind == kind)
            return k.label;
    return "";
}

std::string writeCommand(const Command& command) {
    json root = {{"format", 1},
                 {"id", command.id},
                 {"target", targetText(command.target)},
                 {"kind", commandWord(command.kind)},
                 {"issuedMs", command.issuedMs},
                 {"expiry", command.expirySeconds}};
    if (command.kind == CommandKind::Play)
        root["sound"] = command.sound;
    if (command.kind == CommandKind::Mute || command.kind == CommandKind::Unmute)
        root["date"] = command.date;
    return root.dump(-1, ' ', false, json::error_handler_t::replace);
}

CommandRead readCommand(std::string_view payload) {
    CommandRead read;
    const auto root = readJsonObject(payload, kMaxCommandPayload, 4, read.problem);
    if (!root)
        return read;
    read.problem = commandProblem(*root, read.command);
    if (!read.ok())
        read.command = {};
    return read;
}

bool isAddressedTo(const CommandTarget& target, std::string_view node,
                   const std::vector<std::string>& zones) {
    switch (target.scope) {
    case CommandTarget::Scope::Node:
        return target.id == node;
    case CommandTarget::Scope::Zone:
        return std::find(zones.begin(), zones.end(), target.id) != zones.end();
    case CommandTarget::Scope::All:
        break;
    }
    return true;
}

const std::string* CommandMemory::resultOf(const std::string& id) const {
    const auto found = m_seen.find(id);
    return found == m_seen.end() ? nullptr : &found->second.result;
}

bool CommandMemory::hasRoom(std::int64_t nowMs) const {
    if (m_order.size() < m_capacity)
        return true;
    return std::any_of(m_seen.begin(), m_seen.end(),
                       [nowMs](const auto& seen) { return seen.second.aliveUntilMs < nowMs; });
}

void CommandMemory::remember(const std::string& id, const std::string& result, std::int64_t nowMs,
                             std::int64_t lifetimeMs) {
    forgetOld(nowMs);
    const auto found = m_seen.find(id);
    if (found != m_seen.end()) {
        // The answer changes (acted on, then finished); the id's first arrival and life do not.
        found->second.result = result;
        return;
    }
    m_seen.emplace(id, Seen{result, nowMs, nowMs + std::max<std::int64_t>(0, lifetimeMs)});
    m_order.push_back(id);
    forgetOverCapacity(nowMs);
}

void CommandMemory::forgetOld(std::int64_t nowMs) {
    while (!m_order.empty()) {
        const auto found = m_seen.find(m_order.front());
        if (found != m_seen.end() &&
            (nowMs - found->second.atMs <= m_keepMs || found->second.aliveUntilMs >= nowMs))
            break;
        if (found != m_seen.end())
            m_seen.erase(found);
        m_order.pop_front();
    }
}

// The oldest ids whose life is over go first; one still alive is never forgotten.
void CommandMemory::forgetOverCapacity(std::int64_t nowMs) {
    for (auto it = m_order.begin(); m_order.size() > m_capacity && it != m_order.end();) {
        if (m_seen.at(*it).aliveUntilMs < nowMs) {
            m_seen.erase(*it);
            it = m_order.erase(it);
        } else {
            ++it;
        }
    }
}

std::string CommandMemory::save() const {
    std::string text;
    for (const std::string& id : m_order) {
        const Seen& seen = m_seen.at(id);
        text += std::to_string(seen.atMs) + '\t' + id + '\t' + seen.result + '\t' +
                std::to_string(seen.aliveUntilMs) + '\n';
    }
    return text;
}

namespace {

// The fields of a saved line, split at its tabs.
std::vector<std::string_view> fieldsOf(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos)
            return fields;
        line.remove_prefix(tab + 1);
    }
}

bool readMs(std::string_view text, std::int64_t& out) {
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && parsed.ec == std::errc() && parsed.ptr == text.data() + text.size();
}

} // namespace

void CommandMemory::load(std::string_view text, std::int64_t nowMs) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::vector<std::string_view> fields = fieldsOf(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (fields.size() != 3 && fields.size() != 4)
            continue;
        std::int64_t atMs = 0;
        std::int64_t aliveUntilMs = 0;
        if (!readMs(fields[0], atMs))
            continue;
        // Saved before ids had an end of life: alive as long as any command can be.
        if (fields.size() == 3)
            aliveUntilMs = atMs + std::int64_t{kMaxExpirySeconds} * 1000;
        else if (!readMs(fields[3], aliveUntilMs))
            continue;
        const std::string id(fields[1]);
        if (!isCommandId(id) || m_seen.count(id) || (nowMs - atMs > m_keepMs && aliveUntilMs < nowMs))
            continue;
        m_seen.emplace(id, Seen{std::string(fields[2]), atMs, aliveUntilMs});
        m_order.push_back(id);
    }
    forgetOverCapacity(nowMs);
}

} // namespace halvix::campus
