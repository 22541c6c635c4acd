#pragma once

#include <deque>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

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

    // A sound text whose fourth byte from the end is "." names a file in "voic"; any other
    // non-empty text names a folder relative to the program folder ("\" and "/" both separate).
    // An empty text plays nothing (and ends a running playlist, like any firing).
    void startSound(const std::string& sound);
    // The bell armed an entry with `sound`: a single file is handed to the single player to get
    // ready ahead of the firing. Folders and empty texts need nothing.
    void prepareSound(const std::string& sound);
    // Replaces the playlist with the folder's tracks in name order and starts the first.
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

    // Full paths of the tracks a folder sound text names, in the order they play (by name); empty
    // when the folder is missing or holds no track.
    static std::vector<std::string> folderTracks(const std::filesystem::path& programFolder,
                                                 const std::string& folderText);
    // Stops both channels and ends the playlist; the next firing plays as usual.
    void stopAll();

    // True when "voic" in the program folder lists an entry named exactly `name`.
    bool soundFileExists(const std::string& name) const { return soundFileListed(m_programFolder, name); }
    static bool soundFileListed(const std::filesystem::path& programFolder, const std::string& name);
    // Where the single file `name` is looked for.
    std::filesystem::path soundFilePath(const std::string& name) const;

    bool folderMode() const { return m_folderMode; }
    int trackSecondsLeft() const { return m_trackSecondsLeft; }
    const std::deque<std::string>& playlist() const { return m_playlist; }
    const std::filesystem::path& programFolder() const { return m_programFolder; }

    // The fourth byte from the end (the first byte of a shorter text) is ".".
    static bool namesSingleFile(std::string_view sound);
    // The last three bytes are exactly "mp3", "MP3", "wav" or "wma".
    static bool isTrackName(std::string_view fileName);

private:
    void playSoundFile(const std::string& name);
    void trackStarted();

    SoundPlayer& m_singlePlayer;
    SoundPlayer& m_trackPlayer;
    std::filesystem::path m_programFolder;
    std::deque<std::string> m_playlist;
    bool m_folderMode = false;
    int m_trackSecondsLeft = 0;
    bool m_lengthAwaited = false; // the current track's length has not been reported yet
    int m_ticksSinceTrackStart = 0;
};

} // namespace halvix
