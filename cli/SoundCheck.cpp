#include "cli/SoundCheck.h"

#include "bell/Playback.h"
#include "bell/SoundPlayer.h"
#include "store/TableCatalogue.h"

#include <system_error>

namespace halvix {

namespace {

// Playback's rules of names and tracks, without playing anything.
class NoPlayer final : public SoundPlayer {
public:
    void playPath(const std::string&) override {}
    void close() override {}
    long long lengthMs() const override { return 0; }
};

} // namespace

std::string soundProblem(const std::filesystem::path& programFolder, const std::string& sound) {
    if (sound.empty())
        return "没有指定声音";
    NoPlayer none;
    const Playback playback(none, none, programFolder);
    if (!Playback::namesSingleFile(sound))
        return playback.folderTracks(sound).empty() ? "文件夹不存在或没有曲目" : "";
    if (!playback.soundFileExists(sound))
        return "声音文件不存在";
    std::error_code error;
    const auto path = playback.soundFilePath(sound);
    if (std::filesystem::is_directory(path, error))
        return "声音文件是文件夹";
    const auto size = std::filesystem::file_size(path, error);
    if (error)
        return "声音文件无法读取";
    return size == 0 ? "声音文件是空的" : "";
}

TextList soundProblems(const std::filesystem::path& programFolder, const TextTable& plan) {
    TextList lines;
    for (int r = 0; r < plan.rowCount(); ++r) {
        const std::string& sound = plan.cell(r, SoundColumn);
        const std::string problem = soundProblem(programFolder, sound);
        if (!problem.empty())
            lines.push_back(plan.cell(r, TimeColumn) + '\t' + plan.cell(r, EventColumn) + '\t' + sound +
                            '\t' + problem);
    }
    return lines;
}

} // namespace halvix
