#include "bell/window/MainDialog.h"

#include "bell/BellEngine.h"
#include "bell/DayPlanSelector.h"
#include "bell/service/Bell.h"
#include "bell/window/BellTray.h"
#include "bell/window/EmergencyBanner.h"
#include "bell/window/EndGuard.h"
#include "bell/window/PlanList.h"
#include "bell/window/TrayActions.h"
#include "calendar/CalendarStore.h"
#include "calendar/window/CalendarDialog.h"
#include "clockdisplay/window/ClockDisplay.h"
#include "common/MessageSink.h"
#include "exam/window/SettingsDialog.h"
#include "ringlog/window/RingLogDialog.h"
#include "ui_MainDialog.h"
#include "widgets/ChoiceGroup.h"
#include "widgets/PlainText.h"
#include "widgets/ProgramFont.h"
#include "widgets/UserPrompts.h"

#include <QDate>
#include <QEvent>
#include <QHideEvent>
#include <QIcon>
#include <QTimer>

#include <utility>
#include <vector>

namespace halvix {

namespace {

constexpr char kIconResource[] = ":/icons/bell.png";
constexpr char kAllDone[] = "所有任务已完成!";

} // namespace

MainDialog::MainDialog(Bell& bell, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), m_bell(bell), m_prompts(prompts), m_ui(std::make_unique<Ui::MainDialog>()) {
    m_ui->setupUi(this);
    // A plain top-level window (own taskbar entry, minimise box) of fixed size.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    useControlFont();
    m_planList = std::make_unique<PlanList>(m_bell, *m_ui->planList, m_prompts);
    connect(m_planList.get(), &PlanList::replaced, this, [this] {
        // A new plan (the night's reload) starts without yesterday's word; a reload sets its own.
        showStatus(QString());
    });
    placeClockDisplay();
    m_emergencyBanner = new EmergencyBanner(m_bell.emergency(), m_prompts, this);
    m_endGuard = new EndGuard(*this, m_bell, m_prompts);
    connectControls();
    m_bell.setView(m_planList.get());

    setWindowIcon(QIcon(QString::fromLatin1(kIconResource)));
    setWindowOpacity(kOpacity);
    m_clockDisplay->startClock();
    m_bell.nextEntryCountdown() = 500;
    // Nobody asked for this start (it may be the session's or a service's): what it has to say goes
    // to the status line and the tray, never to a box that waits for a click.
    CollectingSink startNotices;
    m_bell.useStoredChoice(startNotices);
    for (const UserMessage& notice : startNotices.messages)
        m_unaskedNotices << QString::fromStdString(notice.text);
    checkRadioButtons();
    reloadPlan(Asked::No);
    onEmergencyChanged(); // one resumed at start sounds from the first tick
    m_hideOnFirstTick = true;
}

MainDialog::~MainDialog() {
    m_ringLog.reset();
    m_bell.setView(nullptr);
    delete m_clockDisplay;
    m_planList.reset();
}

void MainDialog::attachTray(BellTray& tray) {
    m_tray = &tray;
    connect(this, &QDialog::finished, &tray, &BellTray::hide);
    connect(&tray, &BellTray::showRequested, this, &MainDialog::showFromTray);
    connect(&tray, &BellTray::quitRequested, this, [this] { m_endGuard->endAsked(QDialog::Rejected); });

    m_trayActions = std::make_unique<TrayActions>(m_bell, tray, m_prompts);
    connect(&tray, &BellTray::logRequested, this, &MainDialog::onShowRingLog);
    connect(&tray, &BellTray::campusRequested, this, [this] {
        if (m_openCampus)
            m_openCampus();
    });
    tray.setCampusEntry(bool(m_openCampus));
    tray.setSoundProblems(m_soundProblems);
    tray.setStatus(m_statusText);
    // The start's own notices came before there was a tray to say them.
    for (const QString& notice : std::exchange(m_unaskedNotices, {}))
        tray.notify(notice);
}

void MainDialog::onSoundsChecked(int count, const QString& summary) {
    m_soundProblems = count;
    m_planList->rowNotesChanged();
    if (!m_tray)
        return;
    m_tray->setSoundProblems(count);
    // One notice per load; a load without problems clears the warning silently.
    if (count > 0)
        m_tray->notify(QStringLiteral("%1 个铃声有问题:\n%2").arg(count).arg(summary));
}

void MainDialog::onEmergencyChanged() {
    showStatus(m_statusText);
    // The countdown would lead to an entry that does not ring: the banner takes its place.
    const bool shown = m_emergencyBanner->follow();
    m_clockDisplay->setVisible(!shown);
    const int top = shown ? EmergencyBanner::kHeight : 0;
    m_ui->planList->setGeometry(0, top, m_ui->planList->width(), height() - top);
}

void MainDialog::onShowRingLog() {
    // One window, not modal: the bell and the tray keep working while it is open. Today is the bell's.
    const LocalTime now = m_bell.clock().now();
    const QDate today(now.year, now.month, now.day);
    if (!m_ringLog)
        m_ringLog = std::make_unique<RingLogDialog>(m_bell.recorder().log(), m_prompts, today);
    else
        m_ringLog->showDate(today);
    m_ringLog->show();
    m_ringLog->raise();
    m_ringLog->activateWindow();
}

void MainDialog::offerCampusWindow(std::function<void()> open) {
    m_openCampus = std::move(open);
    m_ui->campusButton->setVisible(bool(m_openCampus));
    if (m_tray)
        m_tray->setCampusEntry(bool(m_openCampus));
}

int MainDialog::dayType() const {
    return m_bell.dayType();
}

int MainDialog::season() const {
    return m_bell.season();
}

const DayPlan& MainDialog::plan() const {
    return m_bell.plan();
}

const BellEngine& MainDialog::engine() const {
    return m_bell.engine();
}

int MainDialog::nextEntryCountdown() const {
    return m_bell.nextEntryCountdown().load();
}

void MainDialog::useControlFont() {
    // The controls were laid out for 12 px Chinese characters (two fill a label exactly).
    QFont controls = font();
    controls.setFamilies(songFamilies());
    controls.setPixelSize(12);
    setFont(controls);
}

void MainDialog::placeClockDisplay() {
    QWidget* place = m_ui->clockPlace;
    m_clockDisplay = new ClockDisplay(m_bell.nextEntryCountdown(), m_bell.clock(), this);
    m_clockDisplay->setObjectName(QStringLiteral("clockDisplay"));
    m_clockDisplay->setAccessibleName(QStringLiteral("距下一次响铃"));
    m_clockDisplay->setToolTip(
        QStringLiteral("左上角: 星期 (00 为星期日, 01 至 06 为星期一至星期六)\n"
                       "大数字: 距下一次响铃的时间, 不足一小时为 分:秒, 一小时起为 时:分:秒"));
    m_clockDisplay->move(place->pos());
    m_clockDisplay->resize(place->size());
    delete place;
    m_ui->clockPlace = nullptr;
}

void MainDialog::connectControls() {
    // Two pairs; a click on the checked button chooses it again, and so does a screen reader.
    m_dayTypeButtons = new ChoiceGroup(this);
    m_dayTypeButtons->addButton(m_ui->dailyButton, kDailyDay);
    m_dayTypeButtons->addButton(m_ui->examButton, kExamDay);
    connect(m_dayTypeButtons, &ChoiceGroup::chosen, this, &MainDialog::chooseDayType);
    m_seasonButtons = new ChoiceGroup(this);
    m_seasonButtons->addButton(m_ui->springButton, kSpring);
    m_seasonButtons->addButton(m_ui->autumnButton, kAutumn);
    connect(m_seasonButtons, &ChoiceGroup::chosen, this, &MainDialog::chooseSeason);
    connect(m_ui->settingsButton, &QPushButton::clicked, this, &MainDialog::onSettings);
    connect(&m_bell, &Bell::ticked, this, &MainDialog::onBellTicked);
    connect(&m_bell, &Bell::decisionChanged, this, &MainDialog::showDecision);
    connect(m_ui->calendarButton, &QPushButton::clicked, this, &MainDialog::onCalendar);
    connect(m_ui->campusButton, &QPushButton::clicked, this, [this] {
        if (m_openCampus)
            m_openCampus();
    });
    connect(&m_bell, &Bell::soundsChecked, this, &MainDialog::onSoundsChecked);
    connect(&m_bell, &Bell::soundOutputChanged, this, [this] { showStatus(m_statusText); });
    connect(&m_bell.emergency(), &EmergencyControl::changed, this, &MainDialog::onEmergencyChanged);
}

void MainDialog::onTick(const LocalTime& now) {
    m_bell.onTick(now);
}

void MainDialog::onBellTicked() {
    showDayLine();
    if (m_hideOnFirstTick) {
        m_hideOnFirstTick = false;
        // A timer, not a wait: the bell and the window keep running meanwhile.
        QTimer::singleShot(kHideDelayMs, this, &MainDialog::hideToTray);
    }
}

void MainDialog::reloadPlan(Asked asked) {
    const LoadResult result = m_bell.reloadPlan();
    showDayLine();
    // Shown once the bell is armed again: the boxes wait for a click, the bell does not.
    for (const UserMessage& notice : m_bell.takeNotices()) {
        if (asked != Asked::No)
            m_prompts.show(notice);
        else
            m_unaskedNotices << QString::fromStdString(notice.text);
    }
    // A plan that could not be read is not a day whose bells have all rung, nor is a silent day.
    const bool allDone =
        result != LoadResult::Failed && m_bell.engine().nothingLeft() && !m_bell.decision().silent;
    QStringList status = asked == Asked::No ? m_unaskedNotices : QStringList();
    if (asked == Asked::BySave && result != LoadResult::Failed)
        status << QStringLiteral("已保存, 今日计划已重新载入");
    if (allDone)
        status << QString::fromUtf8(kAllDone);
    showStatus(status.join(QLatin1Char('\n')));
    // At start-up (with the session, as a service) nobody asked: the status line and the tray say it.
    if (allDone && asked == Asked::Yes)
        m_prompts.show({kAllDone, "提示", MessageIcon::Information});
}

void MainDialog::showStatus(const QString& text) {
    m_statusText = text;
    // An emergency heads the line, then a sound output that cannot be heard, above whatever else.
    QStringList lines;
    if (const QString emergency = m_bell.emergency().text(); !emergency.isEmpty())
        lines << emergency;
    if (!m_bell.soundOutputProblem().isEmpty())
        lines << QStringLiteral("无法播放声音: ") + m_bell.soundOutputProblem();
    if (!text.isEmpty())
        lines << text;
    const QString shown = lines.join(QLatin1Char('\n'));
    m_ui->statusLine->setText(shown);
    // The line holds a few short lines; the whole of it is one hover away.
    m_ui->statusLine->setToolTip(plainToolTip(shown));
    if (m_tray)
        m_tray->setStatus(text);
}

void MainDialog::onDaily() {
    chooseDayType(kDailyDay);
}

void MainDialog::onExam() {
    chooseDayType(kExamDay);
}

void MainDialog::onSpring() {
    chooseSeason(kSpring);
}

void MainDialog::onAutumn() {
    chooseSeason(kAutumn);
}

void MainDialog::chooseDayType(int dayType) {
    m_bell.choose(dayType, m_bell.season());
    // A failed write is reported by the database; the choice holds for this run anyway.
    writeDayType(m_bell.programFolder(), dayType, m_prompts);
    reloadPlan(Asked::Yes);
    checkRadioButtons();
    explainCalendarChoice(m_bell.decision().dayType, dayType == kDailyDay ? "日常" : "考试");
}

void MainDialog::chooseSeason(int season) {
    m_bell.choose(m_bell.dayType(), season);
    writeSeason(m_bell.programFolder(), season, m_prompts);
    reloadPlan(Asked::Yes);
    checkRadioButtons();
    explainCalendarChoice(m_bell.decision().season, season == kSpring ? "春季" : "秋季");
}

void MainDialog::explainCalendarChoice(const DecidedValue& value, const char* chosen) {
    if (!value.byCalendar())
        return;
    m_prompts.show({"今日由校历决定: " + decisionText(m_bell.decision()) + "\n" + chosen +
                        " 已存为默认, 校历未定的日子按它响铃。",
                    "提示", MessageIcon::Information});
}

void MainDialog::showDecision(const QString& line) {
    m_decisionLine = line;
    showDayLine();
    checkRadioButtons();
}

void MainDialog::showDayLine() {
    const QString reason = m_bell.idleReason();
    const QString text = reason.isEmpty() ? m_decisionLine : m_decisionLine + QLatin1Char('\n') + reason;
    if (m_ui->todayLine->text() != text)
        m_ui->todayLine->setText(text);
}

void MainDialog::onCalendar() {
    // A window of its own, like the settings; the bell keeps ticking in its loop.
    CalendarDialog calendar(m_bell.programFolder(), dayType(), season(), m_prompts);
    calendar.exec();
    if (!calendar.savedChanges())
        return;
    SilentSink quiet;
    const DayDecision now =
        decideDay(m_bell.clock().now(), dayType(), season(), loadCalendar(m_bell.programFolder(), quiet));
    // Today's plan changes only when today's decision does; what rang today stays done.
    if (!(now == m_bell.decision()))
        reloadPlan(Asked::Yes);
}

void MainDialog::checkRadioButtons() {
    // While the calendar decides today, the buttons show today's value; the stored one otherwise.
    const DayDecision& today = m_bell.decision();
    const int shownDayType = today.dayType.byCalendar() ? today.dayType.value : dayType();
    const int shownSeason = today.season.byCalendar() ? today.season.value : season();
    m_dayTypeButtons->check(shownDayType == kDailyDay ? kDailyDay : kExamDay);
    m_seasonButtons->check(shownSeason == kSpring ? kSpring : kAutumn);
}

void MainDialog::onSettings() {
    SettingsDialog settings(m_bell.programFolder(), m_prompts);
    connect(&settings, &SettingsDialog::saved, this, [this](const QStringList& names) {
        if (m_bell.planReads(names))
            reloadPlan(Asked::BySave);
    });
    settings.exec();
}

void MainDialog::onPlanDoubleClick(int row) {
    m_planList->askToDelete(row);
}

bool MainDialog::trayUsable() const {
    // Without a notification area a hidden window could never be brought back.
    return m_tray && m_tray->usable();
}

void MainDialog::hideToTray() {
    if (trayUsable())
        hide();
}

void MainDialog::showFromTray() {
    showNormal();
    raise();
    activateWindow();
}

void MainDialog::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && trayUsable()) {
        // Hidden once the minimise has gone through, so the window manager is not left half-way.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();
        });
    }
}

void MainDialog::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    // Hidden for hours in the tray, the window gives back its native window and with it the
    // window system's copy of its pixels (1.3 MB); showing it again makes new ones. The windows
    // opened from it stay as they are.
    QTimer::singleShot(0, this, [this] {
        if (!isVisible() && testAttribute(Qt::WA_WState_Created))
            destroy(true, false);
    });
}

} // namespace halvix
