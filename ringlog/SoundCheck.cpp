#include "ringlog/SoundCheck.h"

#include "bell/DayPlan.h"
#include "bell/RingResult.h"
#include "common/SoundPath.h"
#include "ringlog/RingLog.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <map>
#include <system_error>

namespace halvix {

namespace fs = std::filesystem;

namespace {

bool startsWith(const std::array<unsigned char, 16>& bytes, std::size_t got, const char* magic,
                std::size_t at = 0) {
    const std::size_t length = std::strlen(magic);
    return got >= at + length && std::memcmp(bytes.data() + at, magic, length) == 0;
}

SoundProblem missing(std::string reason) {
    return {std::string(resultWord(RingResult::Missing)), std::move(reason)};
}

SoundProblem unplayable(std::string reason) {
    return {std::string(resultWord(RingResult::Unplayable)), std::move(reason)};
}

} // namespace

bool hasPlayableHeader(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::array<unsigned char, 16> bytes{};
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (startsWith(bytes, got, "RIFF") && startsWith(bytes, got, "WAVE", 8))
        return true;
    if (startsWith(bytes, got, "ID3") || startsWith(bytes, got, "OggS") || startsWith(bytes, got, "fLaC"))
        return true;
    // ASF header object GUID 75B22630-668E-11CF-A6D9-00AA0062CE6C, as stored.
    static constexpr unsigned char asf[] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11};
    if (got >= sizeof asf && std::memcmp(bytes.data(), asf, sizeof asf) == 0)
        return true;
    // An MPEG audio frame: eleven set sync bits, a layer other than the reserved 00.
    return got >= 2 && bytes[0] == 0xFF && (bytes[1] & 0xE0) == 0xE0 && (bytes[1] & 0x06) != 0;
}

std::optional<SoundProblem> checkSound(const fs::path& programFolder, const std::string& sound) {
    const SoundResolver sounds(programFolder);
    const ResolvedSound found = sounds.resolve(sound);
    if (!found.location)
        return missing(found.problem);
    std::error_code error;
    if (!found.location->folder) {
        const fs::path& file = found.location->path;
        const auto size = fs::file_size(file, error);
        if (error)
            return unplayable("无法读取 voic/" + sound);
        if (size == 0)
            return unplayable("voic/" + sound + " 是空文件");
        if (!hasPlayableHeader(file))
            return unplayable("voic/" + sound + " 不是可播放的声音文件");
        return std::nullopt;
    }
    const auto tracks = sounds.tracks(found.location->path);
    if (tracks.empty())
        return missing("文件夹 " + sound + " 中没有可播放的文件");
    for (const fs::path& file : tracks) {
        if (fs::file_size(file, error) > 0 && !error && hasPlayableHeader(file))
            return std::nullopt;
    }
    return unplayable("文件夹 " + sound + " 中没有可播放的声音文件");
}

std::vector<EntryProblem> checkPlanSounds(const fs::path& programFolder, const DayPlan& plan) {
    std::vector<EntryProblem> problems;
    std::map<std::string, std::optional<SoundProblem>> checked;
    for (int row = 0; row < plan.size(); ++row) {
        const PlanEntry& entry = plan[row];
        if (entry.state != EntryState::Pending)
            continue;
        auto found = checked.find(entry.sound);
        if (found == checked.end())
            found = checked.emplace(entry.sound, checkSound(programFolder, entry.sound)).first;
        if (found->second)
            problems.push_back({entry.time, entry.sound, *found->second});
    }
    return problems;
}

std::vector<std::string> voicSounds(const fs::path& programFolder) {
    std::vector<std::string> files;
    std::vector<std::string> folders;
    const SoundResolver sounds(programFolder);
    std::error_code error;
    fs::directory_iterator entries(sounds.soundFolder(), error);
    for (const fs::directory_iterator end; !error && entries != end; entries.increment(error)) {
        const std::u8string utf8 = entries->path().filename().u8string();
        std::string name(utf8.begin(), utf8.end());
        std::error_code kindError;
        // Not offered: what would only be refused when chosen.
        if (entries->is_symlink(kindError) && !sounds.leadsInside(entries->path()))
            continue;
        if (entries->is_directory(kindError))
            folders.push_back("voic/" + name);
        else if (namesSingleFile(name))
            files.push_back(std::move(name));
    }
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    files.insert(files.end(), folders.begin(), folders.end());
    return files;
}

std::string problemCountText(std::size_t count) {
    return std::to_string(count) + " 个铃声有问题";
}

std::string problemSummary(const std::vector<EntryProblem>& problems, std::size_t shown) {
    std::string text;
    for (std::size_t i = 0; i < problems.size() && i < shown; ++i) {
        if (!text.empty())
            text += '\n';
        text += problems[i].time + " " + problems[i].sound + ": " + problems[i].problem.reason;
    }
    if (problems.size() > shown)
        text += "\n……等 " + std::to_string(problems.size()) + " 个";
    return text;
}

} // namespace halvix
