#pragma once

#include "time/LocalTime.h"

#include <QDialog>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class QTableView;

namespace Ui {
class MainDialog;
}

namespace halvix {

class Bell;
class BellEngine;
class DayPlan;
class BellTray;
class EmergencyBanner;
class EndGuard;
class ChoiceGroup;
struct DecidedValue;
class ClockDisplay;
class RingLogDialog;
class PlanList;
class TrayActions;
class UserPrompts;

// The program's window onto the bell: today's plan, the countdown to the next bell (a red banner in
// its place while 紧急广播 sounds), the day type and season choices and the settings button. After
// start-up it hides itself into the tray, if there is one. Ending it (Enter, Esc, the close box,
// the tray menu's 关闭) ends the program: asked first while entries are left today (EndGuard).
class MainDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kHideDelayMs = 5000; // after the first tick
    static constexpr double kOpacity = 238 / 255.0;

    // Starts up at once: reads the day type and season, loads and arms today's plan.
    MainDialog(Bell& bell, UserPrompts& prompts, QWidget* parent = nullptr);
    ~MainDialog() override;

    // Brought back by the tray's double click, ended by its 关闭; hidden into it when minimised.
    void attachTray(BellTray& tray);

    // One bell tick at local time `now` (the program's ticks go to the bell itself).
    void onTick(const LocalTime& now);

    void onDaily();
    void onExam();
    void onSpring();
    void onAutumn();
    // 设置, and 数据 from it: a window of its own, the bell rings on. A save of what today's plan
    // reads reloads it at once, and the status line says so.
    void onSettings();
    // The 校历 dialog; a saved calendar that decides today differently reloads today's plan.
    void onCalendar();
    // Asks whether to delete `row` from today's list (never from the database) and re-arms the bell.
    // `row` is -1 for a double click where no row is: asked all the same, and nothing goes.
    void onPlanDoubleClick(int row);
    void showFromTray();
    // The ring log window (from the tray).
    void onShowRingLog();
    RingLogDialog* ringLogDialog() const { return m_ringLog.get(); }
    // On the campus central: the 校园 button and the tray's 校园 item call `open`.
    void offerCampusWindow(std::function<void()> open);

    int dayType() const;
    int season() const;
    const DayPlan& plan() const;
    const BellEngine& engine() const;
    int nextEntryCountdown() const;

protected:
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void useControlFont();
    void placeClockDisplay();
    void connectControls();
    // Whether the user's own action (a choice, a saved calendar; a save in 设置 or 数据, whose
    // dialog says it saved) led to the reload.
    enum class Asked { No, Yes, BySave };
    void reloadPlan(Asked asked);
    // The line under the choices, and the tray's tip: what the window has to say without a box.
    void showStatus(const QString& text);
    void chooseDayType(int dayType);
    void chooseSeason(int season);
    void checkRadioButtons();
    // The calendar decides today's value of a choice the user just made: say so.
    void explainCalendarChoice(const DecidedValue& value, const char* chosen);
    void showDecision(const QString& line);
    // The day's decision, and below it why nothing more rings, when nothing does.
    void showDayLine();
    void onBellTicked();
    void hideToTray();
    bool trayUsable() const;
    void onSoundsChecked(int count, const QString& summary);
    void onEmergencyChanged();

    Bell& m_bell;
    UserPrompts& m_prompts;
    std::unique_ptr<Ui::MainDialog> m_ui;
    std::unique_ptr<PlanList> m_planList;
    ClockDisplay* m_clockDisplay = nullptr;       // a child; deleted first, since it reads the countdown
    EmergencyBanner* m_emergencyBanner = nullptr; // a child
    EndGuard* m_endGuard = nullptr;               // a child
    BellTray* m_tray = nullptr;
    std::unique_ptr<TrayActions> m_trayActions;

    // The radio button pairs of day type and season (children).
    ChoiceGroup* m_dayTypeButtons = nullptr;
    ChoiceGroup* m_seasonButtons = nullptr;
    bool m_hideOnFirstTick = false;
    int m_soundProblems = 0;
    QString m_decisionLine;
    QString m_statusText;         // the status line without the emergency's line
    QStringList m_unaskedNotices; // the start's notices, for the status line and then the tray
    std::unique_ptr<RingLogDialog> m_ringLog;
    std::function<void()> m_openCampus;
};

} // namespace halvix
