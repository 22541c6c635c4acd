#include "bell/MainDialog.h"

#include "bell/BellEngine.h"
#include "bell/DayPlanSelector.h"
#include "bell/MciPlayer.h"
#include "bell/PcmPlayer.h"
#include "bell/Playback.h"
#include "bell/TickDriver.h"
#include "exam/SettingsDialog.h"
#include "widgets/ChoiceGroup.h"
#include "widgets/TextTableModel.h"
#include "ui_MainDialog.h"
#include "clockdisplay/ClockDisplay.h"
#include "widgets/UserPrompts.h"

#include <QEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <utility>

namespace halvix {

namespace {

constexpr char kIconResource[] = ":/icons/bell.png";
constexpr char kTrayTip[] = "校园广播";
constexpr char kCloseItem[] = "关闭";
constexpr char kAllDone[] = "所有任务已完成!";
constexpr char kDeleteQuestion[] = "\n\n是否删除?\n\n 注:只删除,不保存!";

// Passes messages on (or drops them, without a target) and counts them: a load that reported
// something failed, one that reported nothing found no rows.
class CountingSink final : public MessageSink {
public:
    explicit CountingSink(MessageSink* target) : m_target(target) {}
    void show(const UserMessage& message) override {
        ++count;
        if (m_target)
            m_target->show(message);
    }
    int count = 0;

private:
    MessageSink* m_target;
};

} // namespace

MainDialog::MainDialog(std::filesystem::path programFolder, const Clock& clock, UserPrompts& prompts,
                       TickDriver* ticks, QWidget* parent)
    : QDialog(parent), m_programFolder(std::move(programFolder)), m_clock(clock), m_prompts(prompts),
      m_ticks(ticks), m_ui(std::make_unique<Ui::MainDialog>()),
      m_model(std::make_unique<TextTableModel>(m_plan)), m_singlePlayer(std::make_unique<PcmPlayer>()),
      m_trackPlayer(std::make_unique<MciPlayer>()),
      m_playback(std::make_unique<Playback>(*m_singlePlayer, *m_trackPlayer, m_programFolder)),
      m_engine(std::make_unique<BellEngine>(m_plan, static_cast<PlanView&>(*this),
                                            static_cast<PlanSource&>(*this), *m_playback,
                                            m_nextEntryCountdown)) {
    m_ui->setupUi(this);
    // A plain top-level window (own taskbar entry, minimise box) of fixed size.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    useControlFont();
    showAsList(*m_ui->planList, *m_model);
    placeClockDisplay();
    connectControls();

    setWindowIcon(QIcon(QString::fromLatin1(kIconResource)));
    if (m_ticks) {
        connect(m_ticks, &TickDriver::tick, this, &MainDialog::onTick);
        m_ticks->start();
    }
    setWindowOpacity(kOpacity);
    m_clockDisplay->startClock(kClockBackgroundResource, kClockLargeDigitsResource,
                               kClockSmallDigitsResource);
    m_nextEntryCountdown = 500;
    m_season = readSeason(m_programFolder, m_prompts);
    m_dayType = readDayType(m_programFolder, m_prompts);
    checkRadioButtons();
    reloadPlan();
    addTrayIcon();
    m_hideOnFirstTick = true;
}

MainDialog::~MainDialog() {
    if (m_ticks) {
        disconnect(m_ticks, nullptr, this, nullptr);
        m_ticks->stop();
    }
    if (m_tray)
        m_tray->hide();
    // Its worker reads the countdown, which goes with this object's members.
    delete m_clockDisplay;
    m_ui->planList->setModel(nullptr);
}

void MainDialog::useControlFont() {
    // The controls were laid out for 12 px Chinese characters (two fill a label exactly).
    QFont controls = font();
    controls.setFamilies(
        {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC")});
    controls.setPixelSize(12);
    setFont(controls);
}

void MainDialog::placeClockDisplay() {
    QWidget* place = m_ui->clockPlace;
    m_clockDisplay = new ClockDisplay(m_nextEntryCountdown, m_clock, this);
    m_clockDisplay->setObjectName(QStringLiteral("clockDisplay"));
    m_clockDisplay->setAccessibleName(QStringLiteral("距下一次响铃"));
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
    onListDoubleClick(*m_ui->planList, [this](int row) { onPlanDoubleClick(row); });
    connect(m_trackPlayer.get(), &MciPlayer::lengthKnown, this,
            [this](qint64 ms) { m_playback->onTrackLength(ms); });
    // An unplayable track has no length: the playlist moves on to the next one.
    connect(m_trackPlayer.get(), &MciPlayer::failed, this, [this] { m_playback->onTrackLength(0); });
}

void MainDialog::onTick(const LocalTime& now) {
    m_engine->onTick(now);
    retryFailedLoad(now);
    if (m_hideOnFirstTick) {
        m_hideOnFirstTick = false;
        // A timer, not a wait: the bell and the window keep running meanwhile.
        QTimer::singleShot(kHideDelayMs, this, &MainDialog::hideToTray);
    }
}

void MainDialog::reloadPlan() {
    const bool nothingLeft = m_engine->reloadPlan(m_clock.now());
    applyListLook();
    if (nothingLeft)
        m_prompts.show({kAllDone, "提示", MessageIcon::Question});
}

void MainDialog::applyListLook() {
    // Grid lines, row selection and font are set once by showAsList; column widths follow every
    // rebuild of the columns, and the sound column is widened for folder names.
    if (m_model->columnCount() > BellEngine::kSoundColumn)
        m_ui->planList->setColumnWidth(BellEngine::kSoundColumn, kSoundColumnWidth);
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
    m_dayType = dayType;
    // A failed write is reported by the database; the choice holds for this run anyway.
    writeDayType(m_programFolder, dayType, m_prompts);
    reloadPlan();
    checkRadioButtons();
}

void MainDialog::chooseSeason(int season) {
    m_season = season;
    writeSeason(m_programFolder, season, m_prompts);
    reloadPlan();
    checkRadioButtons();
}

void MainDialog::checkRadioButtons() {
    m_dayTypeButtons->check(m_dayType == kDailyDay ? kDailyDay : kExamDay);
    m_seasonButtons->check(m_season == kSpring ? kSpring : kAutumn);
}

void MainDialog::onSettings() {
    // A window of its own; the bell keeps ticking in its loop. What
    // it changes reaches the list at the next reload (01:01, a radio button, the next start).
    SettingsDialog settings(m_programFolder, m_prompts);
    settings.exec();
}

void MainDialog::onPlanDoubleClick(int row) {
    // A double click where no row is asks about no row; OK then deletes nothing.
    if (!m_prompts.confirm({deleteQuestion(m_plan, row, kDeleteQuestion), "删除", MessageIcon::Question}) ||
        !m_model->removeListRow(row))
        return;
    // The rows below moved up: the bell must not ring whatever now stands at the armed position.
    m_engine->rowRemoved(row, m_clock.now());
}

void MainDialog::statusChanged(int row) {
    // The bell wrote the cell into the table itself; setting the same text again tells the view.
    m_model->setCell(row, BellEngine::kStatusColumn,
                     std::string(m_plan.cell(row, BellEngine::kStatusColumn)));
}

void MainDialog::showArmedRow(int row) {
    const QModelIndex index = m_model->index(row, 0);
    if (!index.isValid())
        return;
    m_ui->planList->scrollTo(index, QAbstractItemView::PositionAtTop);
    m_ui->planList->selectRow(row);
}

void MainDialog::advanceSelection(int row) {
    if (row < m_plan.rowCount())
        m_ui->planList->selectRow(row);
    else
        m_ui->planList->clearSelection();
}

void MainDialog::planReplaced() {
    m_model->tableChanged();
    applyListLook();
}

bool MainDialog::loadDayPlan(TextTable& plan, const LocalTime& now) {
    // A failure was reported once; the attempts after it stay quiet until one succeeds.
    CountingSink sink(m_retryingLoad ? nullptr : &m_prompts);
    const bool loaded = halvix::loadDayPlan(m_programFolder, m_dayType, m_season, now, plan, sink);
    if (loaded)
        m_model->tableChanged(); // before the bell selects and scrolls to the armed row
    // A plan the database refused is tried again; a day that simply has no rows is not.
    m_loadRetryTicks = !loaded && sink.count > 0 ? kLoadRetryTicks : -1;
    return loaded;
}

void MainDialog::retryFailedLoad(const LocalTime& now) {
    if (m_loadRetryTicks < 0 || --m_loadRetryTicks > 0)
        return;
    m_retryingLoad = true;
    m_engine->retryLoad(now);
    m_retryingLoad = false;
}

void MainDialog::addTrayIcon() {
    m_trayMenu = std::make_unique<QMenu>();
    m_trayMenu->setObjectName(QStringLiteral("trayMenu"));
    QAction* close = m_trayMenu->addAction(QString::fromUtf8(kCloseItem));
    close->setObjectName(QStringLiteral("closeAction"));
    connect(close, &QAction::triggered, this, &QDialog::reject);

    m_tray = std::make_unique<QSystemTrayIcon>(QIcon(QString::fromLatin1(kIconResource)));
    m_tray->setObjectName(QStringLiteral("trayIcon"));
    m_tray->setToolTip(QString::fromUtf8(kTrayTip));
    m_tray->setContextMenu(m_trayMenu.get());
    connect(m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick)
                    showFromTray();
            });
    m_tray->show();
}

bool MainDialog::trayUsable() const {
    // Without a notification area a hidden window could never be brought back.
    return m_tray && m_tray->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
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

void MainDialog::done(int result) {
    if (m_tray)
        m_tray->hide();
    QDialog::done(result);
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

void MainDialog::keyPressEvent(QKeyEvent* event) {
    // Enter ends the program like Esc does (QDialog only passes it to a default button).
    const bool plain = event->modifiers() == Qt::NoModifier ||
                       (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace halvix
