#pragma once

#include "time/LocalTime.h"
#include "bell/PlanSource.h"
#include "bell/PlanView.h"
#include "store/TextTable.h"

#include <QDialog>

#include <atomic>
#include <filesystem>
#include <memory>

class QMenu;
class QSystemTrayIcon;
class QTableView;

namespace Ui {
class MainDialog;
}

namespace halvix {

class BellEngine;
class ChoiceGroup;
class ClockDisplay;
class MciPlayer;
class PcmPlayer;
class Playback;
class TextTableModel;
class TickDriver;
class UserPrompts;

// The program's window: today's plan, the countdown to the next bell, the day type and season
// choices and the settings button. It owns the bell and its sound players, keeps a tray icon, and
// after start-up hides itself into the tray. Ending it (Enter, Esc, the close box, the tray menu's
// 关闭) ends the program.
class MainDialog final : public QDialog, private PlanView, private PlanSource {
    Q_OBJECT

public:
    static constexpr int kHideDelayMs = 5000; // after the first tick
    static constexpr int kSoundColumnWidth = 220;
    static constexpr double kOpacity = 238 / 255.0;
    // Ticks between quiet attempts to load a plan that the database refused (missing, locked,
    // damaged): the bell gets its plan as soon as the database is usable again.
    static constexpr int kLoadRetryTicks = 60;

    // Starts up at once: reads the day type and season, loads and arms today's plan and adds the
    // tray icon. `ticks`, when given, is started and feeds onTick; without it the caller calls
    // onTick. `programFolder` holds jbase.mdb, voic/ and xqno.txt.
    MainDialog(std::filesystem::path programFolder, const Clock& clock, UserPrompts& prompts,
               TickDriver* ticks = nullptr, QWidget* parent = nullptr);
    ~MainDialog() override;

    // One bell tick at local time `now`.
    void onTick(const LocalTime& now);

    void onDaily();
    void onExam();
    void onSpring();
    void onAutumn();
    void onSettings();
    // Asks whether to delete `row` from today's list (never from the database) and re-arms the bell.
    // `row` is -1 for a double click where no row is: asked all the same, and nothing goes.
    void onPlanDoubleClick(int row);

    int dayType() const { return m_dayType; }
    int season() const { return m_season; }
    const TextTable& plan() const { return m_plan; }
    const BellEngine& engine() const { return *m_engine; }
    int nextEntryCountdown() const { return m_nextEntryCountdown.load(); }
    QSystemTrayIcon* trayIcon() const { return m_tray.get(); }

    void done(int result) override;

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // PlanView
    void statusChanged(int row) override;
    void showArmedRow(int row) override;
    void advanceSelection(int row) override;
    void planReplaced() override;
    // PlanSource
    bool loadDayPlan(TextTable& plan, const LocalTime& now) override;

    void useControlFont();
    void placeClockDisplay();
    void connectControls();
    void reloadPlan();
    void retryFailedLoad(const LocalTime& now);
    void applyListLook();
    void chooseDayType(int dayType);
    void chooseSeason(int season);
    void checkRadioButtons();
    void addTrayIcon();
    void showFromTray();
    void hideToTray();
    bool trayUsable() const;

    std::filesystem::path m_programFolder;
    const Clock& m_clock;
    UserPrompts& m_prompts;
    TickDriver* m_ticks;

    TextTable m_plan; // today's plan exists only here: statuses and deletions are never stored
    std::atomic<int> m_nextEntryCountdown{0};
    std::unique_ptr<Ui::MainDialog> m_ui;
    std::unique_ptr<TextTableModel> m_model;
    std::unique_ptr<PcmPlayer> m_singlePlayer; // bells: decoded ahead, heard at once
    std::unique_ptr<MciPlayer> m_trackPlayer;  // playlists: long tracks, streamed
    std::unique_ptr<Playback> m_playback;
    std::unique_ptr<BellEngine> m_engine;
    ClockDisplay* m_clockDisplay = nullptr; // a child; deleted first, since it reads the countdown
    std::unique_ptr<QMenu> m_trayMenu;
    std::unique_ptr<QSystemTrayIcon> m_tray;

    // The radio button pairs of day type and season (children).
    ChoiceGroup* m_dayTypeButtons = nullptr;
    ChoiceGroup* m_seasonButtons = nullptr;

    int m_dayType = 1;
    int m_season = 1;
    bool m_hideOnFirstTick = false;
    int m_loadRetryTicks = -1; // ticks until the next attempt; -1 while no load has failed
    bool m_retryingLoad = false;
};

} // namespace halvix
