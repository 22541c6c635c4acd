#pragma once

#include "audio/SoundChannel.h"
#include "bell/DayPlanSource.h"
#include "bell/PlanView.h"
#include "bell/RingObserver.h"
#include "common/LatestTaskThread.h"
#include "emergency/EmergencyState.h"
#include "ringlog/RingLog.h"
#include "ringlog/SoundCheck.h"
#include "store/TextTable.h"
#include "time/LocalTime.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace halvix {

class BellEngine;
class Clock;
class Playback;
class RingLogWriter;
struct LocalTime;

// The running bell without any window: today's plan, where it comes from, the engine that rings
// it and the players it rings on. A view (the main window) may watch the plan; without one the
// bell rings all the same.
class Bell final : public QObject, private PlanView, private RingObserver {
    Q_OBJECT

public:
    // Rings on `players`: the sound server's players in both programs, recording ones in tests.
    Bell(std::filesystem::path programFolder, const Clock& clock, BellPlayers players,
         QObject* parent = nullptr);
    ~Bell() override;

    // `view` is told of every change of the plan; null to show nothing.
    void setView(PlanView* view) { m_view = view; }

    // The full reload a user asked for (start-up, a change of day type or season). The messages of
    // a failed load are the caller's to show: see takeNotices.
    LoadResult reloadPlan();
    // One bell tick at local time `now`. A load that fails on its own (the night's reload, a retry)
    // is announced by unattendedNotice, never by a box that waits for a click.
    void onTick(const LocalTime& now);
    // Messages of a failed load not yet reported.
    std::vector<UserMessage> takeNotices() { return m_source.takeNotices(); }

    void choose(int dayType, int season) { m_source.choose(dayType, season); }
    // Chooses the stored day type and term; what cannot be read is told to `sink`.
    void useStoredChoice(MessageSink& sink) { m_source.useStoredChoice(sink); }
    // What the school calendar decided for the plan in use, and that decision in one line.
    const DayDecision& decision() const { return m_source.decision(); }
    QString todayText() const;
    int dayType() const { return m_source.dayType(); }
    int season() const { return m_source.season(); }

    const std::filesystem::path& programFolder() const { return m_programFolder; }
    const Clock& clock() const { return m_clock; }
    TextTable& plan() { return m_plan; }
    const TextTable& plan() const { return m_plan; }
    BellEngine& engine() { return *m_engine; }
    const BellEngine& engine() const { return *m_engine; }
    std::atomic<int>& nextEntryCountdown() { return m_nextEntryCountdown; }

    // The tray's and the command line's actions. playNow plays a sound text of the plan's kind at once on the
    // bell's players (the plan stays as it is); stopPlaying stops what sounds, single bell and playlist
    // alike, and says whether anything did. Both are logged, a stop only when it stopped something.
    // While an emergency broadcast sounds, neither touches the loudspeakers: playNow is refused
    // (false, see playRefusal) and stopPlaying stops nothing (only clearing the emergency does).
    bool playNow(const std::string& sound);
    bool stopPlaying();
    // Why 立即播放 is refused now, in Chinese; empty while it is allowed.
    QString playRefusal() const;

    // 紧急广播. Takes a checked state (from the tray, the command line, or a campus node's retained
    // topic after readEmergency), keeps it in the program folder so that a restart resumes it, and
    // obeys it at once: what sounds stops and the emergency sound loops; the plan's entries stay
    // silent and are logged 紧急广播中. Cleared, the plan rings on from its next entry. The same
    // state again changes nothing. A state that cannot be kept is still obeyed, with a notice.
    void setEmergency(const EmergencyState& state);
    const EmergencyState& emergency() const { return m_emergency; }
    // The emergency as the tray and the command line start it, now, by `by`: an empty text, or why
    // `sound` cannot be the emergency sound (then nothing changes).
    std::string startEmergency(const std::string& sound, std::vector<std::string> zones,
                               const std::string& by);
    // Clears it now, by `by`; false when none was active.
    bool clearEmergency(const std::string& by);
    // The emergency is active and names a zone of this program (see EmergencyState::concerns).
    bool emergencySounding() const { return m_emergency.concerns(m_ownZones); }
    // The zones this program belongs to (a campus node's, from campus.ini); none by default.
    void setOwnZones(std::vector<std::string> zones);
    // "紧急广播中: 警报.mp3" while it sounds here; empty otherwise.
    QString emergencyText() const;
    // Writes (or removes) today's 停铃 entry with the note 今日静音 in the school calendar. The
    // caller reloads the plan. False, with `error` in Chinese, when the calendar cannot be written.
    bool setMutedToday(bool muted, std::string& error);
    // Today is silenced by the calendar entry that setMutedToday writes.
    bool mutedToday() const;
    // The calendar makes today silent (停铃日 or 今日静音): entries are logged, not rung.
    bool silentToday() const { return m_source.decision().silent; }
    // Why nothing more rings today, in words; empty while an entry is still to come.
    QString idleReason() const;

    // The sound problems found by the latest check of today's plan, and tomorrow's (from the nightly
    // reload), in plan order.
    const std::vector<EntryProblem>& soundProblems() const { return m_problems; }
    const std::vector<EntryProblem>& tomorrowProblems() const { return m_tomorrowProblems; }
    // The problem of `row` of today's plan, in words; empty when its sound is fine.
    QString rowProblem(int row) const;
    // The ring log's file and writer.
    std::filesystem::path ringLogFile() const;
    RingLogWriter& ringLog() { return *m_log; }

signals:
    void unattendedNotice(const QString& text);
    // A tick was handled.
    void ticked();
    // A load decided the day differently (a new date, the calendar, a choice): `line` says how.
    void decisionChanged(const QString& line);
    // What became of an entry of the plan (rung, passed over, silenced, not run) or of a tray or
    // command-line action, as the ring log holds it, once the row is complete (its sound looked at).
    // Every row the bell logs passes here, in order: the one place to follow what the bell did.
    void entryLogged(const halvix::RingRow& row);
    // A row of this bell's own is in the ring log's file for good (after entryLogged).
    void entryStored(const halvix::RingRow& row);
    // The full reload ran (a save, an import, a change of choice): the stored plan may have changed.
    void planReloaded();
    // A check of the plan's sounds ended (after every load): `count` problems today and tomorrow,
    // `summary` the first few in words.
    void soundsChecked(int count, const QString& summary);
    // The emergency began, changed or ended here: `text` as emergencyText says it.
    void emergencyChanged(const QString& text);
    // The emergency state changed in any way (also one for other zones, or its clear): a campus
    // node reports it, the central publishes it.
    void emergencyStateChanged();

private:
    // PlanView: passed on to the view, if any.
    void statusChanged(int row) override;
    void showArmedRow(int row) override;
    void advanceSelection(int row) override;
    void planReplaced() override;

    void connectPlayers();
    void announceDecision();

    // RingObserver: each entry's fate goes to the ring log.
    void entryRang(int row, long long dueWallSecond) override;
    void entrySkipped(int row) override;

    // A log row of `row` of `plan`, stamped now.
    RingRow entryRow(const TextTable& plan, int row, const char* result) const;
    // What the log holds for today counts as dealt with (a restart rings none of it again).
    void rememberLoggedToday(const LocalTime& now);
    // The entries the first plan of this run passed over before it was loaded: no bell ran them.
    void logEntriesMissedBeforeStart();
    // A sound or a playlist is playing.
    bool sounding() const;
    // On a silenced date the plan rings nothing; its would-be entries are logged at their time.
    void logSilencedEntries(const LocalTime& now);
    // Checks the pending entries' sounds on a thread of its own; `withTomorrow` also the next day's plan.
    void startSoundCheck(bool withTomorrow);
    void soundCheckDone(unsigned long long generation, std::vector<EntryProblem> today,
                        std::vector<EntryProblem> tomorrow);
    void removeOldRows(const LocalTime& now);
    // Follows a change of the emergency state: starts or ends the loop, holds or releases the plan.
    void obeyEmergency(bool wasSounding, const std::string& soundBefore);
    // Starts the emergency loop on the single-bell player; false when its sound leads nowhere.
    bool startSiren();
    // Keeps the loop going: a sound that ended (one too long to loop from memory) starts again.
    void keepSirenSounding();
    // A row of the ring log for the emergency's start or end; `sound` when not the state's own.
    void logEmergencyAction(const char* event, const char* result, const std::string& sound,
                            const std::string& note);

    std::filesystem::path m_programFolder;
    const Clock& m_clock;
    PlanView* m_view = nullptr;
    TextTable m_plan; // today's plan exists only here: statuses and deletions are never stored
    std::atomic<int> m_nextEntryCountdown{500};
    DayPlanSource m_source;
    std::unique_ptr<SoundChannel> m_singlePlayer; // bells: decoded ahead, heard at once
    std::unique_ptr<SoundChannel> m_trackPlayer;  // playlists: long tracks, streamed
    std::unique_ptr<Playback> m_playback;
    std::unique_ptr<BellEngine> m_engine;
    DayDecision m_announced;
    std::unique_ptr<RingLogWriter> m_log;

    // Whether the first plan of this run has been loaded, and so its passed entries logged.
    enum class StartLoad { Waiting, Retrying, Done };
    StartLoad m_startLoad = StartLoad::Waiting;
    long long m_silencedDay = -1; // the silenced date whose entries are logged up to the second below
    int m_silencedUpTo = 0;
    std::string m_lastSound;    // the latest sound started, for the log of 停止播放
    long long m_cleanedDay = 0; // the date whose log cleanup ran
    bool m_inTick = false;
    LocalTime m_tickTime; // the time of the tick being handled
    int m_tickMs = 0;     // milliseconds from the start of its second to when it began
    std::chrono::steady_clock::time_point
        m_tickStarted; // a load inside a tick is the nightly reload or a retry
    std::vector<EntryProblem> m_problems;
    EmergencyState m_emergency;
    std::optional<std::vector<std::string>> m_ownZones; // none: outside any campus
    int m_sirenQuietTicks = 0;                          // ticks the emergency loop was heard silent
    bool m_sirenProblemTold = false;                    // its sound's problem has been told once
    bool m_sirenHeard = false;                          // the loop was heard playing since it last started
    bool m_resumed = false;     // the state file's emergency, resumed at the first tick
    QStringList m_startNotices; // said at the first tick, once someone listens
    std::vector<EntryProblem> m_tomorrowProblems;
    unsigned long long m_checkGeneration = 0;
    LatestTaskThread m_checker; // last: ended before anything it reports to goes
};

} // namespace halvix
