#include "bell/Playback.h"

#include "bell/SoundPlayer.h"
#include "common/PathText.h"

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

namespace halvix {

namespace fs = std::filesystem;

Playback::Playback(SoundPlayer& singlePlayer, SoundPlayer& trackPlayer, fs::path programFolder)
    : m_singlePlayer(singlePlayer), m_trackPlayer(trackPlayer), m_programFolder(std::move(programFolder)),
      m_sounds(m_programFolder) {}

void Playback::startSound(const std::string& sound) {
    if (m_held)
        return;
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
    const ResolvedSound sound = m_sounds.resolve(name);
    if (!sound.location || sound.location->folder) {
        m_singlePlayer.close();
        return;
    }
    m_singlePlayer.playPath(pathToUtf8(sound.location->path));
}

void Playback::prepareSound(const std::string& sound) {
    if (m_held || sound.empty() || !namesSingleFile(sound))
        return;
    // Only a sound the firing would play is prepared: nothing outside voic is read ahead either.
    const ResolvedSound file = m_sounds.resolve(sound);
    if (file.location && !file.location->folder)
        m_singlePlayer.prepare(pathToUtf8(file.location->path));
}

void Playback::playFolder(const std::string& folderText) {
    m_playlist.clear();
    const ResolvedSound folder = m_sounds.resolve(folderText);
    if (folder.location && folder.location->folder) {
        for (const fs::path& track : m_sounds.tracks(folder.location->path))
            m_playlist.push_back(pathToUtf8(track));
    }
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
