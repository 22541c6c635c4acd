#pragma once

#include "audio/SoundChannel.h"
#include "bell/DayPlanSource.h"
#include "bell/PlanView.h"
#include "bell/service/EmergencyControl.h"
#include "bell/service/RingRecorder.h"
#include "common/LatestTaskThread.h"
#include "ringlog/SoundCheck.h"
#include "time/LocalTime.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace halvix {

class BellEngine;
class Clock;
class Playback;
class PulseServer;

// The running bell without any window: today's plan, where it comes from, the engine that rings
// it, the players it rings on, and the parts that follow it: the ring log's recorder and the
// emergency broadcast. A view (the main window) may watch the plan; without one the bell rings all
// the same. What became of every entry and action reaches everyone through the recorder's
// entryLogged.
class Bell final : public QObject, private PlanView {
    Q_OBJECT

public:
    // Rings on `players`: the sound server's players in both programs, recording ones in tests.
    Bell(std::filesystem::path programFolder, const Clock& clock, BellPlayers players,
         QObject* parent = nullptr);
    ~Bell() override;

    // `view` is told of every change of the plan; null to show nothing.
    void setView(PlanView* view) { m_view = view; }

    // The full reload a user asked for (start-up, a change of day type or season, a save). The
    // messages of a failed load are the caller's to show: see takeNotices.
    LoadResult reloadPlan();
    // One bell tick at local time `now`. What goes wrong on its own (the night's reload, a retry,
    // a sound not heard) is announced by unattendedNotice, never by a box that waits for a click.
    void onTick(const LocalTime& now);
    // Messages of a failed load not yet reported.
    std::vector<UserMessage> takeNotices() { return m_source.takeNotices(); }
    // Whether a save of `saved` (tables, or the school week's file) may change today's plan, so that
    // the plan must be read again (see DayPlanSource::readsAnyOf).
    bool planReads(const QStringList& saved) const;

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
    DayPlan& plan() { return m_plan; }
    const DayPlan& plan() const { return m_plan; }
    // Deletes `row` from today's plan (never from the database): the bell arms afresh.
    void removeEntry(int row);
    BellEngine& engine() { return *m_engine; }
    const BellEngine& engine() const { return *m_engine; }
    std::atomic<int>& nextEntryCountdown() { return m_nextEntryCountdown; }
    RingRecorder& recorder() { return *m_recorder; }
    EmergencyControl& emergency() { return *m_emergency; }
    const EmergencyControl& emergency() const { return *m_emergency; }

    // Told the ring log's row of a 立即播放 once it is known what the loudspeakers did with it: heard
    // (手动播放), not heard and why, or 已停止 when the next sound replaced it before it was heard.
    using PlayAnswer = std::function<void(const RingRow& row)>;

    // The tray's and the command line's actions. playNow plays a sound text of the plan's kind at once on the
    // bell's players (the plan stays as it is), and tells `answer` (when given) its outcome later;
    // stopPlaying stops what sounds, single bell and playlist alike, and says whether anything did.
    // Both are logged, a stop only when it stopped something.
    // While an emergency broadcast sounds, neither touches the loudspeakers: playNow is refused
    // (false, see playRefusal; `answer` is never told) and stopPlaying stops nothing (only clearing
    // the emergency does).
    bool playNow(const std::string& sound, PlayAnswer answer = {});
    bool stopPlaying();
    // A sound or a playlist is playing.
    bool sounding() const;
    // Stops whatever sounds without a word in the log: the program ends, nobody pressed 停止.
    void silence();
    // Why 立即播放 is refused now, in Chinese; empty while it is allowed.
    QString playRefusal() const;

    // The calendar makes today silent (停铃日 or 今日静音): entries are logged, not rung.
    bool silentToday() const { return m_source.decision().silent; }
    // Why nothing more rings today, in words; empty while an entry is still to come.
    QString idleReason() const;
    // Today's entries still to ring; none on a day the calendar silences.
    int entriesLeftToday() const;

    // The sound problems found by the latest check of today's plan, in plan order.
    const std::vector<EntryProblem>& soundProblems() const { return m_problems; }
    // The problem of `row` of today's plan, in words (its sound, or what became of it when it rang
    // and was not heard); empty when there is none.
    QString rowProblem(int row) const;
    // Why no sound can be heard now (no sound server, no output); empty while it can.
    const QString& soundOutputProblem() const { return m_outputProblem; }
    // The players tell whether sound can be heard: `problem` empty when it can, `known` false
    // while they do not know yet.
    void setSoundOutput(bool known, const QString& problem);

signals:
    void unattendedNotice(const QString& text);
    // A tick was handled.
    void ticked();
    // A load decided the day differently (a new date, the calendar, a choice): `line` says how.
    void decisionChanged(const QString& line);
    // The full reload ran (a save, an import, a change of choice): the stored plan may have changed.
    void planReloaded();
    // A check of the plan's sounds ended (after every load): `count` problems today and tomorrow,
    // `summary` the first few in words.
    void soundsChecked(int count, const QString& summary);
    // Sound could be heard and no longer can, or the reverse: `problem` empty when it can again.
    void soundOutputChanged(const QString& problem);
    // An entry of today rang unheard: rowProblem says so now.
    void rowProblemsChanged();

private:
    // PlanView: passed on to the view, if any.
    void statusChanged(int row) override;
    void showArmedRow(int row) override;
    void advanceSelection(int row) override;
    void planReplaced() override;

    void connectPlayers();
    void announceDecision();
    // An entry or action that was not heard: a notice, and a red row while the plan lasts.
    void followLogged(const RingRow& row);
    // The row of a 立即播放 goes to whoever asked for it.
    void answerPlay(const RingRow& row);
    void forgetUnheardOfOtherDays(const std::string& date);
    long long nowMs() const;
    // Checks the pending entries' sounds on a thread of its own; `withTomorrow` also the next day's plan.
    void startSoundCheck(bool withTomorrow);
    void soundCheckDone(unsigned long long generation, std::vector<EntryProblem> today,
                        std::vector<EntryProblem> tomorrow);

    std::filesystem::path m_programFolder;
    const Clock& m_clock;
    PlanView* m_view = nullptr;
    DayPlan m_plan; // today's plan exists only here: states and deletions are never stored
    std::atomic<int> m_nextEntryCountdown{500};
    DayPlanSource m_source;
    std::unique_ptr<SoundChannel> m_singlePlayer; // bells: decoded ahead, heard at once
    std::unique_ptr<SoundChannel> m_trackPlayer;  // playlists: long tracks, streamed
    std::unique_ptr<Playback> m_playback;
    std::unique_ptr<BellEngine> m_engine;
    std::unique_ptr<RingRecorder> m_recorder;
    std::unique_ptr<EmergencyControl> m_emergency;
    DayDecision m_announced;

    bool m_started = false;  // the first reload ran
    std::string m_lastSound; // the latest sound started, for the log of 停止播放
    // Every 立即播放 whose row is still to come, its sound and who waits for it (nobody: empty),
    // in the order played: a play ends the one before, so their rows mostly come in that order.
    std::deque<std::pair<std::string, PlayAnswer>> m_playAnswers;
    bool m_inTick = false;
    std::vector<EntryProblem> m_problems;
    // Today's entries that rang unheard, by time and sound: what their row says.
    std::map<std::pair<std::string, std::string>, QString> m_unheard;
    std::string m_unheardDate;             // "YYYY-MM-DD" of those
    std::shared_ptr<PulseServer> m_output; // what tells whether sound can be heard; none in tests
    int m_outputListener = 0;
    QString m_outputProblem;
    bool m_outputKnown = false;
    unsigned long long m_checkGeneration = 0;
    LatestTaskThread m_checker; // last: ended before anything it reports to goes
};

} // namespace halvix
