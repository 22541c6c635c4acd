#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvix {

class DayPlan;

// Why an entry's sound would not be heard. `result` is the ring log's 缺少声音 or 无法播放;
// `reason` says it in words, naming the file or folder.
struct SoundProblem {
    std::string result;
    std::string reason;

    bool operator==(const SoundProblem&) const = default;
};

// The kinds of sound files the players decode, recognised by their first bytes: RIFF/WAVE, MP3
// (an ID3 tag or an MPEG audio frame), ASF (wma), Ogg and FLAC. Reads at most the first 16 bytes.
bool hasPlayableHeader(const std::filesystem::path& file);

// Checks a plan's sound text by the players' rules (SoundResolver): it must lead to a file or a
// folder of "voic" (else 缺少声音 with the resolver's reason); a file must hold bytes and start
// like a sound file, a folder hold at least one track that does. Nothing when the sound would play.
std::optional<SoundProblem> checkSound(const std::filesystem::path& programFolder, const std::string& sound);

// A problem of one plan entry.
struct EntryProblem {
    std::string time;  // the entry's time text
    std::string sound; // its sound text
    SoundProblem problem;
};

// The entries of `plan` that are still to ring and whose
// sound has a problem, in plan order. Each distinct sound text is checked once.
std::vector<EntryProblem> checkPlanSounds(const std::filesystem::path& programFolder, const DayPlan& plan);

// What 立即播放 offers: the files of "voic" that play as single sounds (by their names) and its
// folders (as "voic/name"), in name order.
std::vector<std::string> voicSounds(const std::filesystem::path& programFolder);

// "N 个铃声有问题".
std::string problemCountText(std::size_t count);
// A short notice listing the first `shown` problems ("08:00 上课.mp3: voic 中没有此文件"), one a
// line, and "……等 N 个" when there are more.
std::string problemSummary(const std::vector<EntryProblem>& problems, std::size_t shown = 3);

} // namespace halvix
