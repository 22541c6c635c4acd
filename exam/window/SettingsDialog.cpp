#include "exam/window/SettingsDialog.h"

#include "editing/window/DataDialog.h"
#include "exam/ExamSetup.h"
#include "store/TableCatalogue.h"
#include "ui_SettingsDialog.h"
#include "widgets/Autostart.h"
#include "widgets/ChoiceGroup.h"
#include "widgets/ScreenFit.h"
#include "widgets/UserPrompts.h"

#include <QDate>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <utility>

namespace halvix {

namespace {

constexpr double kOpacity = 228 / 255.0;
// The toggle says what a click will do.
const QString kShowCaption = QStringLiteral("显示");
const QString kHideCaption = QStringLiteral("隐藏");

QDate toQDate(const CalendarDate& date) {
    return QDate(date.year, date.month, date.day);
}
CalendarDate toCalendarDate(const QDate& date) {
    return {date.year(), date.month(), date.day()};
}

} // namespace

SettingsDialog::SettingsDialog(std::filesystem::path programFolder, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::SettingsDialog>()),
      m_programFolder(std::move(programFolder)), m_prompts(prompts), m_autostart(makeAutostart()),
      m_kindButtons(new ChoiceGroup(this)) {
    m_ui->setupUi(this);
    m_ui->autostartCheck->setChecked(m_autostart->isEnabled());
    // The stored week, beside the boxes: they open unticked and only clicks in them change it.
    m_storedWeek = new QLabel(QString::fromStdString(storedWeekText(m_programFolder)), this);
    m_storedWeek->setObjectName(QStringLiteral("storedWeekLabel"));
    m_ui->weekdayLayout->addWidget(m_storedWeek, 2, 0, 1, 4);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowOpacity(kOpacity);

    const std::array<QRadioButton*, kExamKindCount> kinds = {m_ui->kindRadio1, m_ui->kindRadio2,
                                                             m_ui->kindRadio3, m_ui->kindRadio4,
                                                             m_ui->kindRadio5, m_ui->kindRadio6};
    for (int kind = 1; kind <= kExamKindCount; ++kind)
        m_kindButtons->addButton(kinds[static_cast<std::size_t>(kind - 1)], kind);

    // Grid order: row by row, left subject before right.
    m_datePickers = {m_ui->yuwenDate, m_ui->sipinDate, m_ui->shuxueDate,  m_ui->lishiDate, m_ui->yingyuDate,
                     m_ui->diliDate,  m_ui->wuliDate,  m_ui->shengwuDate, m_ui->huaxueDate};
    m_timePickers = {m_ui->yuwenStart,  m_ui->yuwenEnd,  m_ui->sipinStart,   m_ui->sipinEnd,
                     m_ui->shuxueStart, m_ui->shuxueEnd, m_ui->lishiStart,   m_ui->lishiEnd,
                     m_ui->yingyuStart, m_ui->yingyuEnd, m_ui->diliStart,    m_ui->diliEnd,
                     m_ui->wuliStart,   m_ui->wuliEnd,   m_ui->shengwuStart, m_ui->shengwuEnd,
                     m_ui->huaxueStart, m_ui->huaxueEnd};
    m_settingEdits = {m_ui->listening7Edit, m_ui->listening8Edit, m_ui->listening9Edit, m_ui->interval1Edit,
                      m_ui->interval2Edit,  m_ui->interval3Edit,  m_ui->interval4Edit,  m_ui->countdownEdit};
    m_weekdayBoxes = {m_ui->weekdayCheck1, m_ui->weekdayCheck2, m_ui->weekdayCheck3, m_ui->weekdayCheck4,
                      m_ui->weekdayCheck5, m_ui->weekdayCheck6, m_ui->weekdayCheck7};

    // The time pickers have no label of their own; a screen reader names them after their subject.
    for (std::size_t g = 0; g < kSubjectCount; ++g) {
        const auto subject = kSubjectNames[static_cast<std::size_t>(kGridSubjects[g])];
        const QString name = QString::fromUtf8(subject.data(), static_cast<qsizetype>(subject.size()));
        m_timePickers[2 * g]->setAccessibleName(name + QStringLiteral(" 开始"));
        m_timePickers[2 * g + 1]->setAccessibleName(name + QStringLiteral(" 结束"));
    }

    // The subjects' dates show today until an exam date is chosen.
    const QDate today = QDate::currentDate();
    for (QDateEdit* picker : m_datePickers)
        picker->setDate(today);
    m_ui->examDateEdit->setDate(today);
    m_examDate = toCalendarDate(today);

    // Collapsed keeps the full width, so that showing the lower half only adds height.
    m_ui->upperFrame->setMinimumWidth(
        std::max(m_ui->upperFrame->sizeHint().width(), m_ui->lowerFrame->sizeHint().width()));
    setLowerHalfShown(false);

    // A click on the checked kind loads its timetable again; a screen reader's toggle chooses too.
    connect(m_kindButtons, &ChoiceGroup::chosen, this, &SettingsDialog::onExamKind);
    // Focus loss ends the editing of the date; so does Enter.
    connect(m_ui->examDateEdit, &QDateEdit::editingFinished, this, &SettingsDialog::onExamDate);
    connect(m_ui->noListeningCheck, &QCheckBox::toggled, this, &SettingsDialog::onNoListening);
    // Every change of a box counts as a click: a screen reader toggles a box without clicking it.
    for (int weekday = 1; weekday <= kWeekdayCount; ++weekday)
        connect(m_weekdayBoxes[static_cast<std::size_t>(weekday - 1)], &QCheckBox::toggled, this,
                [this, weekday] { onWeekday(weekday); });
    // 开机自启动 takes effect at once: it has nothing to do with the exam plan that 保存 writes.
    connect(m_ui->autostartCheck, &QCheckBox::toggled, this, &SettingsDialog::applyAutostart);
    connect(m_ui->resetButton, &QPushButton::clicked, this, &SettingsDialog::onResetWeekdays);
    connect(m_ui->toggleButton, &QPushButton::clicked, this, &SettingsDialog::onToggleLowerHalf);
    connect(m_ui->dataButton, &QPushButton::clicked, this, &SettingsDialog::onData);
    connect(m_ui->saveButton, &QPushButton::clicked, this, &SettingsDialog::onSave);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &SettingsDialog::reject);

    m_kindButtons->check(m_examKind);
    loadPresetIntoPickers();
    m_settings = settingsFromTexts(readSettings(m_programFolder, m_prompts));
    showSettings();
    watchForChanges();
}

// From now on every change but 开机自启动 is the user's: filled in above, the fields were not.
void SettingsDialog::watchForChanges() {
    const auto changed = [this] { m_changedBesidesAutostart = true; };
    connect(m_kindButtons, &ChoiceGroup::chosen, this, changed);
    connect(m_ui->examDateEdit, &QDateEdit::dateChanged, this, changed);
    for (QDateEdit* picker : m_datePickers)
        connect(picker, &QDateEdit::dateChanged, this, changed);
    for (QTimeEdit* picker : m_timePickers)
        connect(picker, &QTimeEdit::timeChanged, this, changed);
    for (QLineEdit* edit : m_settingEdits)
        connect(edit, &QLineEdit::textChanged, this, changed);
    for (QCheckBox* box : {m_ui->noListeningCheck, m_ui->cardStepsCheck})
        connect(box, &QCheckBox::toggled, this, changed);
    for (QCheckBox* box : m_weekdayBoxes)
        connect(box, &QCheckBox::toggled, this, changed);
    connect(m_ui->resetButton, &QPushButton::clicked, this, changed);
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::onExamKind(int kind) {
    m_examKind = kind;
    loadPresetIntoPickers();
}

void SettingsDialog::onExamDate() {
    m_examDate = toCalendarDate(m_ui->examDateEdit->date());
    const auto dates = gridDates(m_examKind, m_examDate);
    for (std::size_t g = 0; g < dates.size(); ++g)
        m_datePickers[g]->setDate(toQDate(dates[g]));
}

void SettingsDialog::onNoListening(bool on) {
    m_settings = on ? withoutListening(m_settings)
                    : withStoredListening(m_settings, readSettings(m_programFolder, m_prompts));
    showSettings();
    for (std::size_t i = 0; i < 3; ++i)
        m_settingEdits[i]->setEnabled(!on);
}

void SettingsDialog::onWeekday(int weekday) {
    m_weekdays.click(weekday);
    m_weekdayBoxes[static_cast<std::size_t>(weekday - 1)]->setText(
        QString::fromStdString(m_weekdays.caption(weekday)));
}

void SettingsDialog::onResetWeekdays() {
    m_weekdays.reset();
    for (int weekday = 1; weekday <= kWeekdayCount; ++weekday) {
        QCheckBox* box = m_weekdayBoxes[static_cast<std::size_t>(weekday - 1)];
        box->setText(QString::fromStdString(m_weekdays.caption(weekday)));
        const QSignalBlocker notAClick(box);
        box->setChecked(false);
    }
}

void SettingsDialog::onToggleLowerHalf() {
    setLowerHalfShown(!m_ui->lowerFrame->isVisibleTo(this));
}

void SettingsDialog::onData() {
    DataDialog dialog(m_programFolder, m_prompts, this);
    connect(&dialog, &DataDialog::saved, this, [this](const QString& table) { emit saved({table}); });
    dialog.exec();
}

void SettingsDialog::onSave() {
    // 开机自启动 took effect when it was ticked: a save made for it alone leaves the exam plan, the
    // settings and the week as they are.
    if (m_autostartChanged && !m_changedBesidesAutostart) {
        accept();
        return;
    }
    readSettingEdits();
    ExamSetup setup;
    setup.settings = m_settings;
    setup.gridDates = pickerDates();
    setup.times = pickerTimes();
    setup.withCardSteps = m_ui->cardStepsCheck->isChecked();
    // Boxes nobody clicked in this opening say nothing about the week: the stored one stays.
    if (m_weekdays.clickCount() > 0)
        setup.weekdayValues = m_weekdays.weekdayValues();
    setup.examKind = m_examKind;
    const bool stored = saveExamSetup(m_programFolder, setup, m_prompts);
    m_settings = setup.settings;
    if (!stored)
        return;
    QStringList written{QString::fromLatin1(tables::sjtime), QString::fromLatin1(tables::settable)};
    if (setup.weekdayValues)
        written << QString::fromLatin1(kWeekdayFileName);
    emit saved(written);
    accept();
}

void SettingsDialog::applyAutostart(bool wanted) {
    m_autostartChanged = true;
    QString problem;
    if (wanted != m_autostart->isEnabled() && !m_autostart->setEnabled(wanted, problem)) {
        const QSignalBlocker notAChoice(m_ui->autostartCheck);
        m_ui->autostartCheck->setChecked(m_autostart->isEnabled());
        m_prompts.show({problem.toStdString(), "提示", MessageIcon::Critical});
    }
}

void SettingsDialog::loadPresetIntoPickers() {
    PresetTimes times = pickerTimes();
    loadPreset(m_programFolder, m_examKind, times, m_prompts);
    for (std::size_t i = 0; i < times.size(); ++i)
        m_timePickers[i]->setTime(QTime(times[i].hour, times[i].minute));
}

PresetTimes SettingsDialog::pickerTimes() const {
    PresetTimes times;
    for (std::size_t i = 0; i < times.size(); ++i)
        times[i] = {m_timePickers[i]->time().hour(), m_timePickers[i]->time().minute()};
    return times;
}

std::array<CalendarDate, kSubjectCount> SettingsDialog::pickerDates() const {
    std::array<CalendarDate, kSubjectCount> dates;
    for (std::size_t g = 0; g < dates.size(); ++g)
        dates[g] = toCalendarDate(m_datePickers[g]->date());
    return dates;
}

void SettingsDialog::showSettings() {
    for (int i = 0; i < ExamSettings::kCount; ++i)
        m_settingEdits[static_cast<std::size_t>(i)]->setText(QString::number(m_settings.at(i)));
}

void SettingsDialog::readSettingEdits() {
    std::array<std::string, ExamSettings::kCount> texts;
    for (std::size_t i = 0; i < texts.size(); ++i)
        texts[i] = m_settingEdits[i]->text().toStdString();
    const FieldReading reading = readSettingFields(texts, m_settings);
    m_settings = reading.settings;
    if (reading.failedField < 0)
        return;
    m_prompts.show({reading.message, "提示", MessageIcon::Warning});
    QLineEdit* field = m_settingEdits[static_cast<std::size_t>(reading.failedField)];
    field->setFocus();
    field->selectAll();
}

void SettingsDialog::setLowerHalfShown(bool shown) {
    m_ui->toggleButton->setText(shown ? kHideCaption : kShowCaption);
    // Placed for its upper half, the dialog grown downwards would reach the bottom of a 1024 x 768
    // screen: it grows up and down evenly instead, within the screen.
    const QPoint centre = frameGeometry().center();
    m_ui->lowerFrame->setVisible(shown);
    recentreOnScreen(this, centre);
}

} // namespace halvix
