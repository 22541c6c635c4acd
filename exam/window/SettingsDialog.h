#pragma once

#include "exam/ExamSettings.h"
#include "exam/ExamTimetable.h"
#include "exam/PresetFile.h"
#include "exam/WeekdayFile.h"

#include <QDialog>
#include <QStringList>
#include <array>
#include <filesystem>
#include <memory>

class QCheckBox;
class QLabel;
class QDateEdit;
class QLineEdit;
class QTimeEdit;

namespace Ui {
class SettingsDialog;
}

namespace halvix {

class ChoiceGroup;
class Autostart;
class UserPrompts;

// "时间设置": the exam timetable of the chosen exam kind, the exam procedure settings, the exam date
// and the school week. 保存 writes the generated exam plan, the settings, the weekday file (only
// when weekday boxes were clicked) and the kind's timetable file; 取消 writes nothing of these.
// 开机自启动 starts the program with the session or not as soon as it is ticked or unticked; a 保存
// after that change alone writes nothing else.
class SettingsDialog final : public QDialog {
    Q_OBJECT
public:
    SettingsDialog(std::filesystem::path programFolder, UserPrompts& prompts, QWidget* parent = nullptr);
    ~SettingsDialog() override;

    int examKind() const { return m_examKind; }
    const ExamSettings& settings() const { return m_settings; }
    const WeekdayClicks& weekdayClicks() const { return m_weekdays; }

signals:
    // A save wrote these tables (and the school week's file xqno.txt, named so), here or in 数据.
    void saved(const QStringList& names);

private:
    void onExamKind(int kind);
    void onExamDate();
    void onNoListening(bool on);
    void onWeekday(int weekday);
    void onResetWeekdays();
    void onToggleLowerHalf();
    void onData();
    void onSave();
    void applyAutostart(bool wanted);
    void watchForChanges();

    void loadPresetIntoPickers();
    PresetTimes pickerTimes() const;
    std::array<CalendarDate, kSubjectCount> pickerDates() const;
    void showSettings();
    // A refused field is reported and gets the focus; the save goes on with what was read.
    void readSettingEdits();
    void setLowerHalfShown(bool shown);

    std::unique_ptr<Ui::SettingsDialog> m_ui;
    std::filesystem::path m_programFolder;
    UserPrompts& m_prompts;
    std::unique_ptr<Autostart> m_autostart;
    ChoiceGroup* m_kindButtons;
    std::array<QDateEdit*, kSubjectCount> m_datePickers{};
    std::array<QTimeEdit*, kPresetValueCount> m_timePickers{};
    std::array<QLineEdit*, ExamSettings::kCount> m_settingEdits{};
    std::array<QCheckBox*, kWeekdayCount> m_weekdayBoxes{};
    QLabel* m_storedWeek = nullptr;
    bool m_autostartChanged = false;
    bool m_changedBesidesAutostart = false;

    ExamSettings m_settings;
    int m_examKind = 1;
    CalendarDate m_examDate;
    WeekdayClicks m_weekdays;
};

} // namespace halvix
