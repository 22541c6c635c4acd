#pragma once

#include <array>
#include <filesystem>
#include <string_view>

namespace halvix {

class MessageSink;

inline constexpr int kExamKindCount = 6;

// Kinds are numbered 1 to 6, each with its caption and its timetable file in "tovk".
struct ExamKindInfo {
    std::string_view caption;
    std::string_view fileName;
};

// Kind 1 ... 6; an unknown kind reads as kind 1.
const ExamKindInfo& examKindInfo(int kind);

inline constexpr const char* kPresetFolder = "tovk";
std::filesystem::path presetPath(const std::filesystem::path& programFolder, int kind);

struct PresetTime {
    int hour = 0;
    int minute = 0;

    bool operator==(const PresetTime&) const = default;
};

inline constexpr int kPresetValueCount = 18;

// Start and end of each subject, in the order of the timetable grid: row by row, left column before
// right, start before end.
using PresetTimes = std::array<PresetTime, kPresetValueCount>;

// Reads the kind's file into `times`. A file that cannot be read is reported and leaves `times` as
// they were. Values that are missing or no time of day become 00:00 (no exam) and are reported
// once; the rest still apply. False whenever something was reported.
bool loadPreset(const std::filesystem::path& programFolder, int kind, PresetTimes& times, MessageSink& sink);

// Writes the kind's file, one hour * 100 + minute per line, creating "tovk" when it is missing. The
// old file is replaced only by a completely written one.
bool savePreset(const std::filesystem::path& programFolder, int kind, const PresetTimes& times,
                MessageSink& sink);

} // namespace halvix
