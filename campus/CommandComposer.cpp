#include "campus/CommandComposer.h"

#include "common/IdText.h"
#include "common/TextChecks.h"
#include "time/CivilDate.h"

namespace halvix::campus {

namespace {

std::uint32_t defaultExpiry(CommandKind kind, const LocalTime& now) {
    switch (kind) {
    case CommandKind::Play:
    case CommandKind::Stop:
        return kPlayExpirySeconds;
    case CommandKind::Mute:
    case CommandKind::Unmute:
        return secondsToEndOfDay(now);
    case CommandKind::Reload:
        break;
    }
    return kReloadExpirySeconds;
}

} // namespace

std::uint32_t secondsToEndOfDay(const LocalTime& now) {
    const int left = 86400 - now.secondOfDay();
    return left > 0 ? static_cast<std::uint32_t>(left) : 1u;
}

std::optional<Command> CommandComposer::compose(const CommandRequest& request, std::int64_t nowMs,
                                                const LocalTime& now, std::string& problem) {
    problem.clear();
    if (request.kind == CommandKind::Play) {
        problem =
            request.sound.empty() ? std::string("立即播放需要声音的名字") : soundNameProblem(request.sound);
        if (!problem.empty() && !request.sound.empty())
            problem = request.sound + ": " + problem;
    } else if (!request.sound.empty()) {
        problem = std::string(commandLabel(request.kind)) + "不带声音";
    }
    if (problem.empty() && request.target.scope != CommandTarget::Scope::All && !isValidId(request.target.id))
        problem = "节点或区域的标识不对: " + request.target.id;
    if (problem.empty() && request.expirySeconds &&
        (*request.expirySeconds == 0 || *request.expirySeconds > kMaxExpirySeconds))
        problem = "有效期须在 1 到 " + std::to_string(kMaxExpirySeconds) + " 秒之间";
    if (!problem.empty())
        return std::nullopt;

    Command command;
    command.id = m_origin + "-" + std::to_string(nowMs) + "-" + std::to_string(++m_count);
    command.target = request.target;
    command.kind = request.kind;
    command.sound = request.sound;
    if (request.kind == CommandKind::Mute || request.kind == CommandKind::Unmute)
        command.date = dateText(dateOf(now));
    command.issuedMs = nowMs;
    command.expirySeconds = request.expirySeconds.value_or(defaultExpiry(request.kind, now));
    return command;
}

} // namespace halvix::campus
