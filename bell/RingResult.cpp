#include "bell/RingResult.h"

#include <array>
#include <utility>

namespace halvix {

namespace {

constexpr std::array<std::pair<RingResult, std::string_view>, 13> kWords{{
    {RingResult::Rang, "已响铃"},
    {RingResult::Overdue, "逾时跳过"},
    {RingResult::SilentDay, "停铃日"},
    {RingResult::MutedToday, "今日静音"},
    {RingResult::Missing, "缺少声音"},
    {RingResult::Unplayable, "无法播放"},
    {RingResult::Manual, "手动播放"},
    {RingResult::Stopped, "已停止"},
    {RingResult::NotRunning, "未运行"},
    {RingResult::Emergency, "紧急广播中"},
    {RingResult::NoOutput, "无声音输出"},
    {RingResult::CutOff, "播放中断"},
    {RingResult::Inaudible, "音量为零"},
}};

} // namespace

std::string_view resultWord(RingResult result) {
    for (const auto& [known, word] : kWords)
        if (known == result)
            return word;
    return {};
}

std::optional<RingResult> resultOfWord(std::string_view word) {
    for (const auto& [result, known] : kWords)
        if (known == word)
            return result;
    return std::nullopt;
}

bool unheard(RingResult result) {
    switch (result) {
    case RingResult::Missing:
    case RingResult::Unplayable:
    case RingResult::NotRunning:
    case RingResult::NoOutput:
    case RingResult::CutOff:
    case RingResult::Inaudible:
        return true;
    default:
        return false;
    }
}

} // namespace halvix
