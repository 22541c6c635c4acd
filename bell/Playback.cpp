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

SoundStart Playback::startSound(const std::string& sound) {
    if (m_held)
        return {};
    const unsigned long long ticket = ++m_nextTicket;
    // An empty text is a file that is not there: nothing sounds, and the playlist ends as at any
    // single-file entry.
    if (sound.empty() || namesSingleFile(sound)) {
        m_folderMode = false;
        m_playlist.clear();
        drop(m_folder, "播放列表被下一个铃声结束");
        return playSoundFile(sound, ticket);
    }
    m_folderMode = true;
    return playFolder(sound, ticket);
}

SoundStart Playback::playSoundFile(const std::string& name, unsigned long long ticket) {
    drop(m_single, "被下一个铃声替换");
    const ResolvedSound sound = m_sounds.resolve(name);
    if (!sound.location || sound.location->folder) {
        m_singlePlayer.close();
        return {ticket, SoundFault::Missing, sound.location ? name + " 是文件夹" : sound.problem};
    }
    m_single = {ticket, 0, false};
    m_single.playback = m_singlePlayer.playPath(pathToUtf8(sound.location->path));
    return {ticket, std::nullopt, {}};
}

void Playback::prepareSound(const std::string& sound) {
    if (m_held || sound.empty() || !namesSingleFile(sound))
        return;
    // Only a sound the firing would play is prepared: nothing outside voic is read ahead either.
    const ResolvedSound file = m_sounds.resolve(sound);
    if (file.location && !file.location->folder)
        m_singlePlayer.prepare(pathToUtf8(file.location->path));
}

SoundStart Playback::playFolder(const std::string& folderText, unsigned long long ticket) {
    m_playlist.clear();
    drop(m_folder, "播放列表被下一个铃声替换");
    const ResolvedSound folder = m_sounds.resolve(folderText);
    if (!folder.location || !folder.location->folder) {
        m_folderMode = false;
        return {ticket, SoundFault::Missing, folder.location ? folderText + " 不是文件夹" : folder.problem};
    }
    for (const fs::path& track : m_sounds.tracks(folder.location->path))
        m_playlist.push_back(pathToUtf8(track));
    if (m_playlist.empty()) {
        m_folderMode = false;
        return {ticket, SoundFault::Missing, folderText + " 中没有声音文件"};
    }
    m_folder = {ticket, 0, false};
    playNextTrack();
    return {ticket, std::nullopt, {}};
}

void Playback::stopAll(const char* why) {
    drop(m_single, why);
    drop(m_folder, why);
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
    const unsigned long long playback = m_trackPlayer.playPath(path);
    if (m_folder.ticket)
        m_folder.playback = playback;
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
    if (!m_folder.heard)
        drop(m_folder, "播放列表被结束");
}

void Playback::singleStarted(unsigned long long playback, const std::string& silencedBy, long long atMs) {
    if (playback == m_single.playback)
        started(m_single, silencedBy, atMs);
}

void Playback::singleFailed(unsigned long long playback, SoundFault fault, const std::string& reason,
                            long long atMs) {
    if (playback == m_single.playback)
        failed(m_single, fault, reason, atMs);
}

void Playback::trackStarted(unsigned long long playback, const std::string& silencedBy, long long atMs) {
    if (playback == m_folder.playback)
        started(m_folder, silencedBy, atMs);
}

void Playback::trackFailed(unsigned long long playback, SoundFault fault, const std::string& reason,
                           long long atMs) {
    // The playlist goes on with its next track, as it does for one whose length never comes.
    onTrackLength(0);
    if (playback != m_folder.playback || !m_folder.ticket)
        return;
    if (!m_folder.heard && !m_playlist.empty())
        return; // not heard yet: it is, if one of its next tracks plays
    failed(m_folder, fault, reason, atMs);
}

void Playback::drop(Pending& pending, const char* why) {
    const unsigned long long ticket = std::exchange(pending.ticket, 0);
    pending.playback = 0;
    if (ticket && !pending.heard && m_reports)
        m_reports->soundDropped(ticket, why);
    pending.heard = false;
}

void Playback::started(Pending& pending, const std::string& silencedBy, long long atMs) {
    if (!pending.ticket || pending.heard)
        return;
    pending.heard = true;
    if (m_reports)
        m_reports->soundStarted(pending.ticket, silencedBy, atMs);
}

void Playback::failed(Pending& pending, SoundFault fault, const std::string& reason, long long atMs) {
    if (!pending.ticket || (pending.heard && fault != SoundFault::CutOff))
        return;
    const unsigned long long ticket = std::exchange(pending.ticket, 0);
    pending.playback = 0;
    pending.heard = false;
    if (m_reports)
        m_reports->soundFailed(ticket, fault, reason, atMs);
}

} // namespace halvix
