#include "bell/Playback.h"

#include "bell/SoundPlayer.h"
#include "common/PathText.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

namespace halvix {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSoundFolder = "voic";

// The folder a sound text names, always below or beside the program folder; nothing for a text
// that would name the program folder itself.
std::optional<fs::path> folderOf(const fs::path& programFolder, std::string text) {
    std::replace(text.begin(), text.end(), '\\', '/');
    // A leading separator must not turn the text into an absolute path.
    text.erase(0, text.find_first_not_of('/'));
    const fs::path relative = pathFromUtf8(text).lexically_normal();
    if (relative.empty() || relative == ".")
        return std::nullopt;
    return programFolder / relative;
}

} // namespace

Playback::Playback(SoundPlayer& singlePlayer, SoundPlayer& trackPlayer, fs::path programFolder)
    : m_singlePlayer(singlePlayer), m_trackPlayer(trackPlayer), m_programFolder(std::move(programFolder)) {}

bool Playback::namesSingleFile(std::string_view sound) {
    const std::string_view tail = sound.size() > 4 ? sound.substr(sound.size() - 4) : sound;
    return !tail.empty() && tail.front() == '.';
}

bool Playback::isTrackName(std::string_view fileName) {
    if (fileName.size() < 3)
        return false;
    const std::string_view tail = fileName.substr(fileName.size() - 3);
    return tail == "mp3" || tail == "MP3" || tail == "wav" || tail == "wma";
}

void Playback::startSound(const std::string& sound) {
    // An empty text is a file that is not there: nothing sounds, and the playlist ends as at any
    // single-file entry.
    if (sound.empty() || namesSingleFile(sound)) {
        m_folderMode = false;
        m_playlist.clear();
        playSoundFile(sound);
        return;
    }
    m_folderMode = true;
    playFolder(sound);
}

void Playback::playSoundFile(const std::string& name) {
    if (name.empty() || !soundFileExists(name)) {
        m_singlePlayer.close();
        return;
    }
    m_singlePlayer.playPath(pathToUtf8(soundFilePath(name)));
}

void Playback::prepareSound(const std::string& sound) {
    // No listing here: a path that turns out not to be there is only a hint the player drops.
    if (!sound.empty() && namesSingleFile(sound))
        m_singlePlayer.prepare(pathToUtf8(m_programFolder / kSoundFolder / pathFromUtf8(sound)));
}

bool Playback::soundFileListed(const fs::path& programFolder, const std::string& name) {
    if (name.empty())
        return false;
    // The listing decides, not the file system's own lookup, so the name must match byte for byte
    // even where the file system ignores letter case.
    std::error_code error;
    fs::directory_iterator entries(programFolder / kSoundFolder, error);
    for (const fs::directory_iterator end; !error && entries != end; entries.increment(error)) {
        if (pathToUtf8(entries->path().filename()) == name)
            return true;
    }
    return false;
}

std::filesystem::path Playback::soundFilePath(const std::string& name) const {
    return m_programFolder / kSoundFolder / pathFromUtf8(name);
}

std::vector<std::string> Playback::folderTracks(const fs::path& programFolder,
                                                const std::string& folderText) {
    std::vector<std::string> tracks;
    const auto folder = folderOf(programFolder, folderText);
    if (!folder)
        return tracks;
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator entries(*folder, error);
    for (const fs::directory_iterator end; !error && entries != end; entries.increment(error)) {
        std::error_code kindError;
        std::string name = pathToUtf8(entries->path().filename());
        if (isTrackName(name) && !entries->is_directory(kindError))
            names.push_back(std::move(name));
    }
    // Listing order differs between systems; name order (by bytes) does not.
    std::sort(names.begin(), names.end());
    for (const auto& name : names)
        tracks.push_back(pathToUtf8(*folder / pathFromUtf8(name)));
    return tracks;
}

void Playback::playFolder(const std::string& folderText) {
    m_playlist.clear();
    for (std::string& track : folderTracks(m_programFolder, folderText))
        m_playlist.push_back(std::move(track));
    playNextTrack();
}

void Playback::stopAll() {
    m_playlist.clear();
    m_folderMode = false;
    m_lengthAwaited = false;
    m_trackSecondsLeft = 0;
    m_singlePlayer.close();
    m_trackPlayer.close();
}

void Playback::playNextTrack() {
    if (m_playlist.empty() || !m_folderMode)
        return;
    const std::string path = std::move(m_playlist.front());
    m_playlist.pop_front();
    // Awaited before the call: a player may report the length from inside playPath.
    m_lengthAwaited = true;
    m_ticksSinceTrackStart = 0;
    m_trackPlayer.playPath(path);
    if (m_lengthAwaited && m_trackPlayer.lengthMs() > 0)
        onTrackLength(m_trackPlayer.lengthMs());
}

void Playback::onTrackLength(long long ms) {
    if (!m_lengthAwaited)
        return;
    m_lengthAwaited = false;
    // The next track is due length / 1000 + 1 ticks after this one started; the ticks that passed
    // while the length was unknown count.
    const long long left = std::max(ms, 0LL) / 1000 + 1 - m_ticksSinceTrackStart;
    m_trackSecondsLeft = static_cast<int>(std::clamp(left, 0LL, static_cast<long long>(INT_MAX)));
}

void Playback::onTick() {
    if (m_lengthAwaited) {
        if (++m_ticksSinceTrackStart < kLengthWaitTicks)
            return;
        // Never reported: take the track as unplayable and go on with the next.
        m_lengthAwaited = false;
        m_trackSecondsLeft = 0;
    }
    const int noted = m_trackSecondsLeft;
    if (m_trackSecondsLeft >= 0)
        --m_trackSecondsLeft;
    if (noted == 0 && m_folderMode)
        playNextTrack();
}

void Playback::clearPlaylist() {
    m_playlist.clear();
}

} // namespace halvix
