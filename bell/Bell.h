#pragma once

#include "bell/DayPlanSource.h"
#include "bell/PlanView.h"
#include "store/TextTable.h"

#include <QObject>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace halvix {

class BellEngine;
class Clock;
class MemoryPlayer;
class Playback;
class StreamPlayer;
struct LocalTime;

// The running bell without any window: today's plan, where it comes from, the engine that rings
// it and the players it rings on. A view (the main window) may watch the plan; without one the
// bell rings all the same.
class Bell final : public QObject, private PlanView {
    Q_OBJECT

public:
    Bell(std::filesystem::path programFolder, const Clock& clock, QObject* parent = nullptr);
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
    // What the school calendar decided for the plan in use, and that decision in one line.
    const DayDecision& decision() const { return m_source.decision(); }
    QString todayText() const;
    int dayType() const { return m_source.dayType(); }
    int season() const { return m_source.season(); }

    // The tray's and the command line's actions on the running bell. ringNow plays `sound` (a file
    // of "voic" or a folder, as a plan row names it) at once through the bell's own players;
    // stopPlaying silences both players and ends a playlist.
    void ringNow(const std::string& sound);
    void stopPlaying();

    const std::filesystem::path& programFolder() const { return m_programFolder; }
    const Clock& clock() const { return m_clock; }
    TextTable& plan() { return m_plan; }
    const TextTable& plan() const { return m_plan; }
    BellEngine& engine() { return *m_engine; }
    const BellEngine& engine() const { return *m_engine; }
    std::atomic<int>& nextEntryCountdown() { return m_nextEntryCountdown; }

signals:
    void unattendedNotice(const QString& text);
    // A tick was handled.
    void ticked();
    // A load decided the day differently (a new date, the calendar, a choice): `line` says how.
    void decisionChanged(const QString& line);

private:
    // PlanView: passed on to the view, if any.
    void statusChanged(int row) override;
    void showArmedRow(int row) override;
    void advanceSelection(int row) override;
    void planReplaced() override;

    void connectPlayers();
    void announceDecision();

    std::filesystem::path m_programFolder;
    const Clock& m_clock;
    PlanView* m_view = nullptr;
    TextTable m_plan; // today's plan exists only here: statuses and deletions are never stored
    std::atomic<int> m_nextEntryCountdown{500};
    DayPlanSource m_source;
    std::unique_ptr<MemoryPlayer> m_singlePlayer; // bells: decoded ahead, heard at once
    std::unique_ptr<StreamPlayer> m_trackPlayer;  // playlists: long tracks, streamed
    std::unique_ptr<Playback> m_playback;
    std::unique_ptr<BellEngine> m_engine;
    DayDecision m_announced;
};

} // namespace halvix
