#include "bell/service/Bell.h"

#include "audio/PulseServer.h"
#include "bell/BellEngine.h"
#include "bell/Playback.h"
#include "calendar/DayDecision.h"
#include "store/ScheduleDatabase.h"
#include "time/CivilDate.h"
#include "time/ClockText.h"

#include <QMetaObject>

#include <algorithm>
#include <utility>

namespace halvix {

namespace {

// The ring log's event of a 立即播放, as the engine names it.
constexpr const char* kPlayNowEvent = "立即播放";

// How long a load inside a tick (the nightly reload, a retry) waits for a database another program
// holds: the next attempt comes kLoadRetryTicks later, and the ticks meanwhile are never held up.
constexpr int kTickDatabaseWaitMs = 10;

} // namespace

Bell::Bell(std::filesystem::path programFolder, const Clock& clock, BellPlayers players, QObject* parent)
    : QObject(parent), m_programFolder(std::move(programFolder)), m_clock(clock), m_source(m_programFolder),
      m_singlePlayer(std::move(players.bells)), m_trackPlayer(std::move(players.tracks)),
      m_playback(std::make_unique<Playback>(*m_singlePlayer, *m_trackPlayer, m_programFolder)),
      m_engine(std::make_unique<BellEngine>(m_plan, static_cast<PlanView&>(*this), m_source, *m_playback,
                                            m_nextEntryCountdown)),
      m_recorder(std::make_unique<RingRecorder>(m_programFolder, m_clock)),
      m_emergency(
          std::make_unique<EmergencyControl>(m_programFolder, *m_singlePlayer, *m_playback, *m_engine)),
      m_output(std::move(players.server)) {
    m_engine->setOutcomeObserver(m_recorder.get());
    connect(m_recorder.get(), &RingRecorder::entryLogged, this, &Bell::followLogged);
    connect(m_emergency.get(), &EmergencyControl::unattendedNotice, this, &Bell::unattendedNotice);
    connectPlayers();
    if (m_output) {
        // From the sound server's thread to this one; dropped once the bell is gone.
        m_outputListener = m_output->addListener([this](const SoundOutputHealth& health) {
            QMetaObject::invokeMethod(
                this,
                [this, known = health.ok || !health.problem.empty(),
                 problem = QString::fromStdString(health.problem)] { setSoundOutput(known, problem); },
                Qt::QueuedConnection);
        });
    }
}

Bell::~Bell() {
    if (m_output)
        m_output->removeListener(m_outputListener);
    // A sound still to be heard gets its outcome, while the recorder is there to keep it.
    silence();
    m_engine->setOutcomeObserver(nullptr);
}

long long Bell::nowMs() const {
    const ClockReading reading = m_clock.read();
    return wallSecond(reading.time) * 1000 + reading.millisecond;
}

void Bell::connectPlayers() {
    connect(m_singlePlayer.get(), &SoundChannel::started, this,
            [this](qulonglong playback, const QString& silencedBy) {
                m_playback->singleStarted(playback, silencedBy.toStdString(), nowMs());
            });
    connect(m_singlePlayer.get(), &SoundChannel::failed, this,
            [this](qulonglong playback, SoundFault fault, const QString& reason) {
                m_playback->singleFailed(playback, fault, reason.toStdString(), nowMs());
            });
    connect(m_trackPlayer.get(), &SoundChannel::lengthKnown, this,
            [this](qint64 ms) { m_playback->onTrackLength(ms); });
    connect(m_trackPlayer.get(), &SoundChannel::started, this,
            [this](qulonglong playback, const QString& silencedBy) {
                m_playback->trackStarted(playback, silencedBy.toStdString(), nowMs());
            });
    // An unplayable track has no length: the playlist moves on to the next one.
    connect(m_trackPlayer.get(), &SoundChannel::failed, this,
            [this](qulonglong playback, SoundFault fault, const QString& reason) {
                m_playback->trackFailed(playback, fault, reason.toStdString(), nowMs());
            });
}

LoadResult Bell::reloadPlan() {
    const LocalTime now = m_clock.now();
    m_recorder->removeOldRows(now);
    m_source.reportNextFailure();
    if (!std::exchange(m_started, true))
        m_recorder->tellDealtWith(*m_engine, now);
    const LoadResult result = m_engine->reloadPlan(now);
    announceDecision();
    emit planReloaded();
    return result;
}

QString Bell::todayText() const {
    return QString::fromStdString(todayLine(m_source.decision()));
}

void Bell::announceDecision() {
    if (m_source.decision() == m_announced)
        return;
    m_announced = m_source.decision();
    emit decisionChanged(todayText());
}

bool Bell::planReads(const QStringList& saved) const {
    std::vector<std::string> names;
    for (const QString& name : saved)
        names.push_back(name.toStdString());
    return m_source.readsAnyOf(names);
}

void Bell::onTick(const LocalTime& now) {
    m_inTick = true;
    {
        const DatabaseWaitLimit limit(kTickDatabaseWaitMs);
        m_engine->onTick(now);
    }
    m_inTick = false;
    m_emergency->onTick();
    if (now.secondOfDay() >= BellEngine::kReloadSecondOfDay)
        m_recorder->removeOldRows(now);
    for (const UserMessage& notice : m_source.takeNotices())
        emit unattendedNotice(QString::fromStdString(notice.text));
    if (const std::string failure = m_recorder->takeFailure(); !failure.empty())
        emit unattendedNotice(
            QStringLiteral("响铃记录无法写入, 铃声照常: %1").arg(QString::fromStdString(failure)));
    announceDecision();
    emit ticked();
}

QString Bell::idleReason() const {
    if (m_engine->loadRetryTicks() >= 0)
        return QStringLiteral("今日计划无法读取, 稍后自动重试");
    if (silentToday())
        return QStringLiteral("今日停铃, 不响铃");
    if (!m_engine->nothingLeft())
        return {};
    if (m_plan.empty())
        return QStringLiteral("今日没有响铃计划");
    return QStringLiteral("今日铃声已全部响完");
}

int Bell::entriesLeftToday() const {
    return silentToday() ? 0 : m_engine->entriesLeft();
}

bool Bell::sounding() const {
    // A playlist between two tracks is still playing.
    return m_singlePlayer->isPlaying() || m_trackPlayer->isPlaying() || !m_playback->playlist().empty();
}

bool Bell::playNow(const std::string& sound, PlayAnswer answer) {
    if (m_emergency->sounding() || !m_engine->playNow(sound, nowMs()))
        return false;
    m_playAnswers.push_back({sound, std::move(answer)});
    return true;
}

QString Bell::playRefusal() const {
    if (!m_emergency->sounding())
        return {};
    return QStringLiteral("%1, 不能立即播放; 请先解除紧急广播").arg(m_emergency->text());
}

bool Bell::stopPlaying() {
    if (m_emergency->sounding())
        return false;
    const bool stopped = sounding();
    m_playback->stopAll();
    if (!stopped)
        return false; // nothing was heard: nothing was stopped
    RingOutcome action;
    action.event = "停止播放";
    action.sound = m_lastSound;
    action.result = RingResult::Stopped;
    m_engine->tell(action);
    return true;
}

void Bell::silence() {
    m_playback->stopAll("程序结束时尚未响铃");
}

void Bell::followLogged(const RingRow& row) {
    const auto result = resultOfWord(row.result);
    if (!result || !row.node.empty())
        return;
    // A cut-off is a second row of a play whose first row answered already.
    if (row.planTime.empty() && row.event == kPlayNowEvent && *result != RingResult::CutOff)
        answerPlay(row);
    if (*result == RingResult::Rang || *result == RingResult::Manual)
        m_lastSound = row.sound;
    // Passed while no bell ran is not news of today's bell.
    if (!unheard(*result) || *result == RingResult::NotRunning)
        return;
    const QString what = row.planTime.empty() ? QString::fromStdString(row.event + " " + row.sound)
                                              : QString::fromStdString(row.planTime + " " + row.event);
    emit unattendedNotice(
        QStringLiteral("%1 未响: %2 (%3)")
            .arg(what, QString::fromStdString(row.result), QString::fromStdString(row.note)));
    if (row.planTime.empty())
        return;
    forgetUnheardOfOtherDays(row.moment.substr(0, 10));
    m_unheard[{row.planTime, row.sound}] = QString::fromStdString(row.result + ": " + row.note);
    emit rowProblemsChanged();
}

void Bell::answerPlay(const RingRow& row) {
    // Matched by the sound too: a playlist started does not end a single sound still waiting, so
    // two plays of different kinds may be told in either order.
    const auto pending = std::find_if(m_playAnswers.begin(), m_playAnswers.end(),
                                      [&row](const auto& play) { return play.first == row.sound; });
    if (pending == m_playAnswers.end())
        return;
    const PlayAnswer answer = std::move(pending->second);
    m_playAnswers.erase(pending);
    if (answer)
        answer(row);
}

void Bell::forgetUnheardOfOtherDays(const std::string& date) {
    if (std::exchange(m_unheardDate, date) != date)
        m_unheard.clear();
}

void Bell::setSoundOutput(bool known, const QString& problem) {
    if (!known)
        return;
    const bool wasKnown = std::exchange(m_outputKnown, true);
    const QString before = std::exchange(m_outputProblem, problem);
    if (wasKnown && before == problem)
        return;
    emit soundOutputChanged(problem);
    // A loss and a return are one notice each; a first look that finds sound is no news.
    if (problem.isEmpty() && wasKnown && !before.isEmpty())
        emit unattendedNotice(QStringLiteral("声音输出已恢复"));
    else if (!problem.isEmpty() && (!wasKnown || before.isEmpty()))
        emit unattendedNotice(QStringLiteral("无法播放声音: ") + problem);
}

void Bell::removeEntry(int row) {
    if (!m_plan.remove(row))
        return;
    // The rows below moved up: the bell must not ring whatever now stands at the armed position.
    m_engine->rowRemoved(row, m_clock.now());
}

QString Bell::rowProblem(int row) const {
    if (row < 0 || row >= m_plan.size())
        return {};
    const std::string& time = m_plan[row].time;
    const std::string& sound = m_plan[row].sound;
    if (const auto unheardRow = m_unheard.find({time, sound}); unheardRow != m_unheard.end())
        return unheardRow->second;
    for (const EntryProblem& problem : m_problems)
        if (problem.time == time && problem.sound == sound)
            return QString::fromStdString(problem.problem.result + ": " + problem.problem.reason);
    return {};
}

void Bell::startSoundCheck(bool withTomorrow) {
    // A copy of the plan and of the choice: the thread never touches what the bell changes.
    DayPlan plan = m_plan;
    const LocalTime now = m_clock.now();
    const unsigned long long generation = ++m_checkGeneration;
    // A check still running is told to stop; the window thread never waits for it.
    m_checker.post([this, plan = std::move(plan), now, withTomorrow, generation, folder = m_programFolder,
                    dayType = dayType(), season = season()](std::stop_token stop) {
        std::vector<EntryProblem> today = checkPlanSounds(folder, plan);
        std::vector<EntryProblem> tomorrow;
        if (withTomorrow && !stop.stop_requested()) {
            const CivilDate next = dateFromDayNumber(dayNumber(now) + 1);
            LocalTime nextDay{next.year, next.month, next.day, 12, 0, 0, weekdayOf(next)};
            DayPlanSource source(folder);
            source.choose(dayType, season);
            DayPlan nextPlan;
            if (source.loadDayPlan(nextPlan, nextDay) == LoadResult::Loaded)
                tomorrow = checkPlanSounds(folder, nextPlan);
        }
        if (stop.stop_requested())
            return;
        QMetaObject::invokeMethod(
            this,
            [this, generation, today = std::move(today), tomorrow = std::move(tomorrow)]() mutable {
                soundCheckDone(generation, std::move(today), std::move(tomorrow));
            },
            Qt::QueuedConnection);
    });
}

void Bell::soundCheckDone(unsigned long long generation, std::vector<EntryProblem> today,
                          std::vector<EntryProblem> tomorrow) {
    if (generation != m_checkGeneration)
        return; // a later load's check is under way
    m_problems = std::move(today);
    std::vector<EntryProblem> all = m_problems;
    for (EntryProblem& problem : tomorrow) {
        problem.time = "明日 " + problem.time;
        all.push_back(std::move(problem));
    }
    emit soundsChecked(static_cast<int>(all.size()), QString::fromStdString(problemSummary(all)));
}

void Bell::statusChanged(int row) {
    if (m_view)
        m_view->statusChanged(row);
}

void Bell::showArmedRow(int row) {
    if (m_view)
        m_view->showArmedRow(row);
}

void Bell::advanceSelection(int row) {
    if (m_view)
        m_view->advanceSelection(row);
}

void Bell::planReplaced() {
    // A plan of another date: yesterday's unheard entries are not today's.
    forgetUnheardOfOtherDays(dateText(dateOf(m_clock.now())));
    if (m_view)
        m_view->planReplaced();
    // Checked once the load has marked the passed entries: only what may still ring matters.
    const bool nightly = m_inTick && m_clock.now().secondOfDay() >= BellEngine::kReloadSecondOfDay;
    QMetaObject::invokeMethod(
        this, [this, nightly] { startSoundCheck(nightly); }, Qt::QueuedConnection);
}

} // namespace halvix
