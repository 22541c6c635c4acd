#pragma once

#include "bell/SoundPlayer.h"
#include "common/SoundPath.h"

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace halvix {

// Told by Playback what became of each sound it started, by the ticket startSound gave it: heard,
// not heard (and why), or dropped before it was heard (stopped, or replaced by the next sound).
// `atMs` is when the player reported it, in milliseconds of local wall-clock time.
class SoundReports {
public:
    virtual ~SoundReports() = default;
    virtual void soundStarted(unsigned long long ticket, const std::string& silencedBy, long long atMs) = 0;
    // Before the sound was heard, or (CutOff) after.
    virtual void soundFailed(unsigned long long ticket, SoundFault fault, const std::string& reason,
                             long long atMs) = 0;
    virtual void soundDropped(unsigned long long ticket, const std::string& why) = 0;
};

// What startSound did: the ticket its reports will carry, or why nothing could start at all (the
// text leads to no sound): no report follows then.
struct SoundStart {
    unsigned long long ticket = 0;
    std::optional<SoundFault> fault;
    std::string reason;
};

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
    SoundStart startSound(const std::string& sound);
    // Who hears what became of the sounds started; null for nobody.
    void setReports(SoundReports* reports) { m_reports = reports; }
    // The players' reports, each about the playback number its playPath returned: a single bell's,
    // and a playlist track's.
    void singleStarted(unsigned long long playback, const std::string& silencedBy, long long atMs);
    void singleFailed(unsigned long long playback, SoundFault fault, const std::string& reason,
                      long long atMs);
    void trackStarted(unsigned long long playback, const std::string& silencedBy, long long atMs);
    void trackFailed(unsigned long long playback, SoundFault fault, const std::string& reason,
                     long long atMs);
    // The bell armed an entry with `sound`: a single file is handed to the single player to get
    // ready ahead of the firing. Folders and empty texts need nothing.
    void prepareSound(const std::string& sound);
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

    // Stops both channels and ends the playlist; the next firing plays as usual. A sound not heard
    // yet is told as dropped, for `why`.
    void stopAll(const char* why = "响铃前被停止");
    // While held (an emergency broadcast has the loudspeakers), firings and their preparation play
    // nothing; released, the next firing plays as usual. `why` is told of the entries held.
    void hold(bool held, std::string why = {}) {
        m_held = held;
        m_heldNote = std::move(why);
    }
    bool held() const { return m_held; }
    const std::string& heldNote() const { return m_heldNote; }

    bool folderMode() const { return m_folderMode; }
    int trackSecondsLeft() const { return m_trackSecondsLeft; }
    const std::deque<std::string>& playlist() const { return m_playlist; }
    const std::filesystem::path& programFolder() const { return m_programFolder; }

private:
    // A sound of a channel whose fate is still to be told.
    struct Pending {
        unsigned long long ticket = 0; // 0: none
        unsigned long long playback = 0;
        bool heard = false; // reported started: only a cut-off is told after that
    };
    SoundStart playSoundFile(const std::string& name, unsigned long long ticket);
    SoundStart playFolder(const std::string& folderText, unsigned long long ticket);
    // The sound of `pending` is given up before it was heard.
    void drop(Pending& pending, const char* why);
    void started(Pending& pending, const std::string& silencedBy, long long atMs);
    void failed(Pending& pending, SoundFault fault, const std::string& reason, long long atMs);

    SoundPlayer& m_singlePlayer;
    SoundPlayer& m_trackPlayer;
    std::filesystem::path m_programFolder;
    SoundResolver m_sounds;
    SoundReports* m_reports = nullptr;
    unsigned long long m_nextTicket = 0;
    Pending m_single; // the single bell's sound
    Pending m_folder; // the playlist's: heard once its first track is
    std::deque<std::string> m_playlist;
    bool m_folderMode = false;
    bool m_held = false;
    std::string m_heldNote;
    int m_trackSecondsLeft = 0;
    bool m_lengthAwaited = false; // the current track's length has not been reported yet
    int m_ticksSinceTrackStart = 0;
};

} // namespace halvix
