#include "exam/PresetFile.h"

#include "common/MessageSink.h"
#include "common/TextFile.h"

#include <charconv>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>

namespace halvix {

namespace {

constexpr std::array<ExamKindInfo, kExamKindCount> kKinds = {{
    {"春季半期", "cbhtime.txt"},
    {"春季一检", "cj1htime.txt"},
    {"春季二检", "cj2htime.txt"},
    {"春季期末", "cjqmhtime.txt"},
    {"秋季半期", "qjbqhtime.txt"},
    {"秋季期末", "qjqmtime.txt"},
}};

#ifdef _WIN32
constexpr const char* kLineEnd = "\r\n";
#else
constexpr const char* kLineEnd = "\n";
#endif

// hour * 100 + minute, the whole token, a time of the day.
std::optional<PresetTime> presetTime(std::string_view token) {
    int value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (error != std::errc() || end != token.data() + token.size() || value < 0)
        return std::nullopt;
    const PresetTime time{value / 100, value % 100};
    if (time.hour > 23 || time.minute > 59)
        return std::nullopt;
    return time;
}

UserMessage notice(std::string text, MessageIcon icon) {
    return {std::move(text), "提示", icon};
}

} // namespace

const ExamKindInfo& examKindInfo(int kind) {
    if (kind < 1 || kind > kExamKindCount)
        kind = 1;
    return kKinds[static_cast<std::size_t>(kind - 1)];
}

std::filesystem::path presetPath(const std::filesystem::path& programFolder, int kind) {
    return programFolder / kPresetFolder / std::string(examKindInfo(kind).fileName);
}

bool loadPreset(const std::filesystem::path& programFolder, int kind, PresetTimes& times, MessageSink& sink) {
    const std::string fileName(examKindInfo(kind).fileName);
    std::optional<std::string> content = readFileContent(presetPath(programFolder, kind));
    if (!content) {
        sink.show(notice("无法读取考试时间文件:" + fileName, MessageIcon::Critical));
        return false;
    }
    // A file saved by a text editor may carry a UTF-8 byte-order mark.
    if (content->starts_with("\xEF\xBB\xBF"))
        content->erase(0, 3);

    std::istringstream values(*content);
    bool complete = true;
    for (PresetTime& time : times) {
        std::string token;
        const auto read = values >> token ? presetTime(token) : std::nullopt;
        complete = complete && read.has_value();
        time = read.value_or(PresetTime{});
    }
    if (!complete)
        sink.show(notice("考试时间文件有误,无效的时间按00:00处理:" + fileName, MessageIcon::Warning));
    return complete;
}

bool savePreset(const std::filesystem::path& programFolder, int kind, const PresetTimes& times,
                MessageSink& sink) {
    const std::filesystem::path file = presetPath(programFolder, kind);
    std::string content;
    for (const PresetTime& time : times)
        content += std::to_string(time.hour * 100 + time.minute) + kLineEnd;
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    std::string problem;
    if (error || !replaceFileContent(file, content, problem)) {
        sink.show(notice("无法保存考试时间文件:" + std::string(examKindInfo(kind).fileName),
                         MessageIcon::Critical));
        return false;
    }
    return true;
}

} // namespace halvix
