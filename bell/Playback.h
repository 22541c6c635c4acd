#pragma once

#include "common/SoundPath.h"

#include <deque>
#include <filesystem>
#include <string>

namespace halvix {

class SoundPlayer;

// Plays the sound of a fired entry: one file from "voic" in the program folder, or every track of a
// folder one after the other. Two independent channels: a single file never stops a playlist
// track that is sounding, and the reverse. Everything runs on the window thread.
class Playback {
public:
    // Ticks to wait for a track's length before giving up on it as unplayable.
    static constexpr int kLengthWaitTicks = 10;

    Playback(SoundPlayer& singlePlayer, SoundPlayer& trackPlayer, std::filesystem::path programFolder);

    // A sound text names a file or a folder of "voic" by the rules of SoundResolver; a text that
    // leads to no sound, an empty one included, plays nothing (and ends a running playlist, like
    // any firing).
    void startSound(const std::string& sound);
    // The bell armed an entry with `sound`: a single file is handed to the single player to get
    // ready ahead of the firing. Folders and empty texts need nothing.
    void prepareSound(const std::string& sound);
    // Replaces the playlist with the folder's tracks in name order and starts the first; a text
    // that leads to no folder of "voic" leaves the playlist empty.
    void playFolder(const std::string& folderText);
    // Starts and removes the first playlist path, when in folder mode.
    void playNextTrack();
    // The track player reports the length of its media. The main window forwards the report of the
    // track player (0 when the media cannot be played); a report for a track whose length is
    // already known, or when none is awaited, is ignored.
    void onTrackLength(long long ms);
    // Once per bell tick, after the firing check: counts down the current track and starts the next.
    void onTick();
    // Ends the playlist; the track that sounds plays on to its end.
    void clearPlaylist();

    // Stops both channels and ends the playlist; the next firing plays as usual.
    void stopAll();
    // While held (an emergency broadcast has the loudspeakers), firings and their preparation play
    // nothing; released, the next firing plays as usual.
    void hold(bool held) { m_held = held; }
    bool held() const { return m_held; }

    bool folderMode() const { return m_folderMode; }
    int trackSecondsLeft() const { return m_trackSecondsLeft; }
    const std::deque<std::string>& playlist() const { return m_playlist; }
    const std::filesystem::path& programFolder() const { return m_programFolder; }

private:
    void playSoundFile(const std::string& name);
    void trackStarted();

    SoundPlayer& m_singlePlayer;
    SoundPlayer& m_trackPlayer;
    std::filesystem::path m_programFolder;
    SoundResolver m_sounds;
    std::deque<std::string> m_playlist;
    bool m_folderMode = false;
    bool m_held = false;
    int m_trackSecondsLeft = 0;
    bool m_lengthAwaited = false; // the current track's length has not been reported yet
    int m_ticksSinceTrackStart = 0;
};

} // namespace halvix
