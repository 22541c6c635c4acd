#include "bell/Bell.h"

#include "bell/BellEngine.h"
#include "bell/Playback.h"
#include "calendar/CalendarStore.h"
#include "calendar/DayDecision.h"
#include "calendar/TodayMute.h"
#include "common/PathText.h"
#include "emergency/EmergencyFile.h"
#include "ringlog/RingLog.h"
#include "store/ScheduleDatabase.h"
#include "time/CivilDate.h"
#include "time/ClockText.h"
#include "time/LocalTime.h"

#include <QDateTime>
#include <QMetaObject>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace halvix {

namespace {

// How long a load inside a tick (the nightly reload, a retry) waits for a database another program
// holds: the next attempt comes kLoadRetryTicks later, and the ticks meanwhile are never held up.
constexpr int kTickDatabaseWaitMs = 10;

// "YYYY-MM-DD HH:MM:SS.mmm" of the moment `ms` milliseconds after the start of `time`'s second.
std::string stampText(const LocalTime& time, long long ms) {
    const long long total = wallSecond(time) * 1000 + ms;
    const long long msPerDay = kSecondsPerDay * 1000LL;
    const long long day = total / msPerDay - (total % msPerDay < 0 ? 1 : 0);
    const long long inDay = total - day * msPerDay;
    const CivilDate date = dateFromDayNumber(day);
    const long long second = inDay / 1000;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02lld:%02lld:%02lld.%03lld", date.year, date.month,
                  date.day, second / 3600, second / 60 % 60, second % 60, inDay % 1000);
    return text;
}

// Ticks of silence after which the emergency loop is started again: a streamed sound has ended, or
// the sound could not be played. Two, so that a sound still starting is not cut off by a restart.
constexpr int kSirenRestartTicks = 2;

// One reading of the clock, stamped.
std::string stampNow(const Clock& clock) {
    const ClockReading reading = clock.read();
    return stampText(reading.time, reading.millisecond);
}

// Milliseconds from the start of the tick's second `tick` to `reading`; a reading of another second
// than the tick's or the one after it (a clock that disagrees with the tick's) counts its millisecond.
int msIntoTick(const LocalTime& tick, const ClockReading& reading) {
    const long long seconds = wallSecond(reading.time) - wallSecond(tick);
    return seconds == 0 || seconds == 1 ? static_cast<int>(seconds) * 1000 + reading.millisecond
                                        : reading.millisecond;
}

} // namespace

Bell::Bell(std::filesystem::path programFolder, const Clock& clock, BellPlayers players, QObject* parent)
    : QObject(parent), m_programFolder(std::move(programFolder)), m_clock(clock), m_source(m_programFolder),
      m_singlePlayer(std::move(players.bells)), m_trackPlayer(std::move(players.tracks)),
      m_playback(std::make_unique<Playback>(*m_singlePlayer, *m_trackPlayer, m_programFolder)),
      m_engine(std::make_unique<BellEngine>(m_plan, static_cast<PlanView&>(*this), m_source, *m_playback,
                                            m_nextEntryCountdown)),
      m_log(std::make_unique<RingLogWriter>(
          m_programFolder / kRingLogFile,
          [this](const RingRow& row) {
              // From the writer's thread to the window thread; dropped once the bell is gone.
              QMetaObject::invokeMethod(
                  this, [this, row] { emit entryLogged(row); }, Qt::QueuedConnection);
          },
          [this](const RingRow& row) {
              QMetaObject::invokeMethod(
                  this, [this, row] { emit entryStored(row); }, Qt::QueuedConnection);
          })) {
    m_engine->setRingObserver(this);
    connectPlayers();
    // An emergency that was on when the program ended (killed, a power cut) goes on at once: the
    // plan is held from the first load, and the first tick starts the loop.
    std::string problem;
    m_emergency = loadEmergency(m_programFolder, problem);
    if (!problem.empty())
        m_startNotices << QStringLiteral("紧急广播状态无法读取, 按没有紧急广播运行: %1")
                              .arg(QString::fromStdString(problem));
    if (emergencySounding()) {
        m_playback->hold(true);
        m_sirenQuietTicks = kSirenRestartTicks;
        m_resumed = true;
    }
}

Bell::~Bell() {
    m_engine->setRingObserver(nullptr);
}

void Bell::connectPlayers() {
    connect(m_trackPlayer.get(), &SoundChannel::lengthKnown, this,
            [this](qint64 ms) { m_playback->onTrackLength(ms); });
    // An unplayable track has no length: the playlist moves on to the next one.
    connect(m_trackPlayer.get(), &SoundChannel::failed, this, [this] { m_playback->onTrackLength(0); });
}

LoadResult Bell::reloadPlan() {
    const LocalTime now = m_clock.now();
    removeOldRows(now);
    m_source.reportNextFailure();
    if (m_startLoad == StartLoad::Waiting)
        rememberLoggedToday(now);
    const LoadResult result = m_engine->reloadPlan(now);
    // A loaded plan has logged what it passed over (planReplaced); a failed one is retried.
    if (m_startLoad == StartLoad::Waiting)
        m_startLoad = result == LoadResult::Failed ? StartLoad::Retrying : StartLoad::Done;
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

void Bell::onTick(const LocalTime& now) {
    // The bell's seconds come from the tick; where in the second it runs, from one clock reading.
    m_tickTime = now;
    m_tickMs = msIntoTick(now, m_clock.read());
    m_tickStarted = std::chrono::steady_clock::now();
    m_inTick = true;
    {
        const DatabaseWaitLimit limit(kTickDatabaseWaitMs);
        m_engine->onTick(now);
    }
    m_inTick = false;
    if (m_startLoad == StartLoad::Retrying && m_engine->loadRetryTicks() < 0)
        m_startLoad = StartLoad::Done; // a retry found no plan today
    logSilencedEntries(now);
    keepSirenSounding();
    for (const QString& notice : std::exchange(m_startNotices, {}))
        emit unattendedNotice(notice);
    if (now.secondOfDay() >= BellEngine::kReloadSecondOfDay)
        removeOldRows(now);
    for (const UserMessage& notice : m_source.takeNotices())
        emit unattendedNotice(QString::fromStdString(notice.text));
    if (const std::string failure = m_log->takeFailure(); !failure.empty())
        emit unattendedNotice(
            QStringLiteral("响铃记录无法写入, 铃声照常: %1").arg(QString::fromStdString(failure)));
    announceDecision();
    emit ticked();
}

void Bell::removeOldRows(const LocalTime& now) {
    const long long today = dayNumber(now);
    if (today == m_cleanedDay)
        return;
    m_cleanedDay = today;
    m_log->removeOld(dateText(dateOf(now)));
}

bool Bell::mutedToday() const {
    const DayDecision& today = m_source.decision();
    return today.silent && today.silentNote == kMuteNote;
}

void Bell::logSilencedEntries(const LocalTime& now) {
    const DayDecision& today = m_source.decision();
    const long long date = dayNumber(now);
    if (!today.silent || dateOf(now) != today.date) {
        m_silencedDay = -1;
        return;
    }
    if (date != m_silencedDay) {
        // Entries before the load that silenced the date rang, or were passed over, before it.
        const LocalTime& loaded = m_source.loadedAt();
        m_silencedDay = date;
        m_silencedUpTo = dayNumber(loaded) == date ? loaded.secondOfDay() - 1 : now.secondOfDay();
    }
    const TextTable& rows = m_source.silencedPlan();
    for (int row = 0; row < rows.rowCount(); ++row) {
        const auto time = readEntryTimeText(rows.cell(row, BellEngine::kTimeColumn));
        if (!time || time->secondOfDay() <= m_silencedUpTo || time->secondOfDay() > now.secondOfDay())
            continue;
        RingRow entry = entryRow(rows, row, mutedToday() ? ringresult::kMutedToday : ringresult::kSilentDay);
        entry.note = today.silentNote;
        // Dealt with for the date: a reload (恢复响铃) must not ring it after all.
        m_engine->recordDealtWith(date, entry.planTime, entry.sound);
        m_log->append(std::move(entry));
    }
    m_silencedUpTo = now.secondOfDay();
}

bool Bell::setMutedToday(bool muted, std::string& error) {
    struct Collect final : MessageSink {
        std::string text;
        void show(const UserMessage& message) override { text = message.text; }
    } sink;
    const CivilDate today = dateOf(m_clock.now());
    if ((muted ? muteDay(m_programFolder, today, sink) : unmuteDay(m_programFolder, today, sink)) !=
        MuteChange::Failed)
        return true;
    error = sink.text.empty() ? std::string("无法写入校历") : sink.text;
    return false;
}

std::filesystem::path Bell::ringLogFile() const {
    return m_programFolder / kRingLogFile;
}

QString Bell::idleReason() const {
    if (m_engine->loadRetryTicks() >= 0)
        return QStringLiteral("今日计划无法读取, 稍后自动重试");
    if (silentToday())
        return QStringLiteral("今日停铃, 不响铃");
    if (!m_engine->nothingLeft())
        return {};
    if (m_plan.rowCount() == 0)
        return QStringLiteral("今日没有响铃计划");
    return QStringLiteral("今日铃声已全部响完");
}

void Bell::rememberLoggedToday(const LocalTime& now) {
    // A start the same day (after a crash, say) must not ring again, in its minute, what a run
    // before rang or silenced: the log knows. Read once, before the bell rings anything.
    RingLog log(ringLogFile());
    const auto rows = log.rowsOn(dateText(dateOf(now)));
    if (!rows)
        return; // the writer reports a log it cannot use
    for (const RingRow& row : *rows)
        if (!row.planTime.empty())
            m_engine->recordDealtWith(dayNumber(now), row.planTime, row.sound);
}

void Bell::logEntriesMissedBeforeStart() {
    const LocalTime& loaded = m_source.loadedAt();
    const bool silent = m_source.decision().silent;
    const TextTable& rows = silent ? m_source.silencedPlan() : m_plan;
    // The load passes over what is a minute or more overdue (later ones ring or are 逾时跳过); on a
    // silenced date the entries from the load's second on are logged as they come.
    const int passedUpTo = loaded.secondOfDay() - (silent ? 1 : BellEngine::kFireWindowSeconds);
    const char* note = m_startLoad == StartLoad::Retrying ? "今日计划无法读取时已过" : "程序启动前已过";
    std::vector<RingRow> missed;
    for (int row = 0; row < rows.rowCount(); ++row) {
        const auto time = readEntryTimeText(rows.cell(row, BellEngine::kTimeColumn));
        if (!time || time->secondOfDay() > passedUpTo ||
            (!silent && rows.cell(row, BellEngine::kStatusColumn) != BellEngine::kPending))
            continue;
        RingRow entry = entryRow(rows, row, ringresult::kNotRunning);
        entry.note = note;
        missed.push_back(std::move(entry));
    }
    // The log knows which of them a run before this one on the same date logged already.
    m_log->appendUnlogged(dateText(dateOf(loaded)), std::move(missed));
}

bool Bell::sounding() const {
    // A playlist between two tracks is still playing.
    return m_singlePlayer->isPlaying() || m_trackPlayer->isPlaying() || !m_playback->playlist().empty();
}

RingRow Bell::entryRow(const TextTable& plan, int row, const char* result) const {
    RingRow entry;
    entry.moment = stampNow(m_clock);
    entry.planTime = plan.cell(row, BellEngine::kTimeColumn);
    entry.event = plan.cell(row, 3);
    entry.sound = plan.cell(row, BellEngine::kSoundColumn);
    entry.result = result;
    return entry;
}

void Bell::entryRang(int row, long long dueWallSecond) {
    // The engine calls this right after the sound was started: the memory player starts a prepared
    // bell inside playPath, so this moment is when the sound began (a sound that was not prepared,
    // and a playlist's track, start later than this by their decoding). Measured as the tick's
    // lateness to the due second plus the time the tick took so far.
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - m_tickStarted);
    const long long startedMs = m_tickMs + spent.count();
    if (m_playback->held()) {
        // Nothing sounded: the emergency had the loudspeakers.
        RingRow silent = entryRow(m_plan, row, ringresult::kEmergency);
        silent.note = emergencyLine(m_emergency);
        m_log->append(std::move(silent));
        return;
    }
    RingRow entry = entryRow(m_plan, row, ringresult::kRang);
    entry.moment = stampText(m_tickTime, startedMs);
    entry.delayMs = std::max(0LL, (wallSecond(m_tickTime) - dueWallSecond) * 1000 + startedMs);
    m_lastSound = entry.sound;
    // Whether the sound was really there is looked at on the log's thread, after the sound started.
    m_log->append(std::move(entry), [folder = m_programFolder](RingRow& done) {
        if (const auto problem = checkSound(folder, done.sound)) {
            done.result = problem->result;
            done.note = problem->reason;
        }
    });
}

void Bell::entrySkipped(int row) {
    RingRow entry = entryRow(m_plan, row, ringresult::kOverdue);
    entry.note = "超过 60 秒未响, 已跳过";
    m_log->append(std::move(entry));
}

bool Bell::playNow(const std::string& sound) {
    if (emergencySounding())
        return false;
    m_playback->startSound(sound);
    m_lastSound = sound;
    RingRow entry;
    entry.moment = stampNow(m_clock);
    entry.event = "立即播放";
    entry.sound = sound;
    entry.result = ringresult::kManual;
    m_log->append(std::move(entry), [folder = m_programFolder](RingRow& done) {
        if (const auto problem = checkSound(folder, done.sound))
            done.note = problem->result + ": " + problem->reason;
    });
    return true;
}

QString Bell::playRefusal() const {
    if (!emergencySounding())
        return {};
    return QStringLiteral("%1, 不能立即播放; 请先解除紧急广播").arg(emergencyText());
}

bool Bell::stopPlaying() {
    if (emergencySounding())
        return false;
    const bool stopped = sounding();
    m_playback->stopAll();
    if (!stopped)
        return false; // nothing was heard: nothing was stopped
    RingRow entry;
    entry.moment = stampNow(m_clock);
    entry.event = "停止播放";
    entry.sound = m_lastSound;
    entry.result = ringresult::kStopped;
    m_log->append(std::move(entry));
    return true;
}

void Bell::setOwnZones(std::vector<std::string> zones) {
    const bool was = emergencySounding();
    m_ownZones = std::move(zones);
    obeyEmergency(was, m_emergency.sound);
}

QString Bell::emergencyText() const {
    return emergencySounding() ? QString::fromStdString(emergencyLine(m_emergency)) : QString();
}

std::string Bell::startEmergency(const std::string& sound, std::vector<std::string> zones,
                                 const std::string& by) {
    if (std::string why = emergencySoundProblem(sound); !why.empty())
        return sound + ": " + why;
    if (const auto problem = checkSound(m_programFolder, sound))
        return sound + ": " + problem->reason;
    setEmergency({true, sound, std::move(zones), QDateTime::currentMSecsSinceEpoch(), by});
    return {};
}

bool Bell::clearEmergency(const std::string& by) {
    if (!m_emergency.active)
        return false;
    setEmergency({false, {}, {}, QDateTime::currentMSecsSinceEpoch(), by});
    return true;
}

void Bell::setEmergency(const EmergencyState& state) {
    if (state == m_emergency)
        return; // the retained state delivered again, or the same request twice
    std::string problem;
    if (!saveEmergency(m_programFolder, state, problem))
        emit unattendedNotice(QStringLiteral("紧急广播状态无法保存, 程序重启后不会继续: %1")
                                  .arg(QString::fromStdString(problem)));
    const bool was = emergencySounding();
    const std::string soundBefore = m_emergency.sound;
    m_emergency = state;
    obeyEmergency(was, soundBefore);
    emit emergencyStateChanged();
}

void Bell::obeyEmergency(bool wasSounding, const std::string& soundBefore) {
    const bool sounding = emergencySounding();
    if (sounding == wasSounding && (!sounding || soundBefore == m_emergency.sound))
        return;
    m_sirenProblemTold = false;
    m_sirenQuietTicks = 0;
    m_sirenHeard = false;
    m_resumed = false;
    if (sounding) {
        // Whatever plays stops at once, the playlist with it; the loop takes the single-bell player.
        m_playback->stopAll();
        m_playback->hold(true);
        startSiren();
        if (!wasSounding)
            logEmergencyAction("紧急广播", ringresult::kEmergency, "", "");
    } else {
        m_playback->hold(false);
        m_playback->stopAll();
        // The armed entry was not prepared while held: it is now, so it rings on time.
        if (!m_engine->nothingLeft())
            m_playback->prepareSound(m_plan.cell(m_engine->currentRow(), BellEngine::kSoundColumn));
        // Only a real clear is logged: a state for other zones was never this program's to sound.
        if (!m_emergency.active)
            logEmergencyAction("解除紧急广播", ringresult::kStopped, soundBefore, "");
    }
    emit emergencyChanged(emergencyText());
}

bool Bell::startSiren() {
    const ResolvedSound sound = SoundResolver(m_programFolder).resolve(m_emergency.sound);
    if (!sound.location || sound.location->folder) {
        if (!m_sirenProblemTold) {
            m_sirenProblemTold = true;
            emit unattendedNotice(
                QStringLiteral("紧急广播的声音无法播放 (%1: %2); 计划的铃声仍不响")
                    .arg(QString::fromStdString(m_emergency.sound),
                         QString::fromStdString(sound.location ? "是文件夹" : sound.problem)));
        }
        return false;
    }
    const std::string path = pathToUtf8(sound.location->path);
    // Prepared, so the decoded sound stays at hand for every restart of the loop.
    m_singlePlayer->prepare(path);
    m_singlePlayer->playLoop(path);
    return true;
}

void Bell::keepSirenSounding() {
    if (!emergencySounding())
        return;
    if (std::exchange(m_resumed, false))
        logEmergencyAction("紧急广播", ringresult::kEmergency, "", "程序启动时继续");
    if (m_singlePlayer->isPlaying()) {
        m_sirenQuietTicks = 0;
        m_sirenHeard = true;
        return;
    }
    // Still decoding, or a moment's underrun on a busy machine: the loop goes on by itself.
    if (m_singlePlayer->isLooping())
        return;
    // A sound that was heard and ended (streamed: too long to loop from memory) starts again at once;
    // one never heard yet may still be starting.
    if (std::exchange(m_sirenHeard, false) || ++m_sirenQuietTicks >= kSirenRestartTicks) {
        m_sirenQuietTicks = 0;
        startSiren();
    }
}

void Bell::logEmergencyAction(const char* event, const char* result, const std::string& sound,
                              const std::string& note) {
    RingRow entry;
    entry.moment = stampNow(m_clock);
    entry.event = event;
    entry.sound = sound.empty() ? m_emergency.sound : sound;
    entry.result = result;
    entry.note = note;
    if (!m_emergency.by.empty())
        entry.note += (note.empty() ? "由 " : ", 由 ") + m_emergency.by;
    m_log->append(std::move(entry));
}

QString Bell::rowProblem(int row) const {
    const std::string& time = m_plan.cell(row, BellEngine::kTimeColumn);
    const std::string& sound = m_plan.cell(row, BellEngine::kSoundColumn);
    for (const EntryProblem& problem : m_problems)
        if (problem.time == time && problem.sound == sound)
            return QString::fromStdString(problem.problem.result + ": " + problem.problem.reason);
    return {};
}

void Bell::startSoundCheck(bool withTomorrow) {
    // A copy of the plan and of the choice: the thread never touches what the bell changes.
    TextTable plan = m_plan;
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
            TextTable nextPlan;
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
    for (EntryProblem& problem : tomorrow)
        problem.time = "明日 " + problem.time;
    m_tomorrowProblems = std::move(tomorrow);
    std::vector<EntryProblem> all = m_problems;
    all.insert(all.end(), m_tomorrowProblems.begin(), m_tomorrowProblems.end());
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
    if (m_startLoad != StartLoad::Done) {
        logEntriesMissedBeforeStart();
        m_startLoad = StartLoad::Done;
    }
    if (m_view)
        m_view->planReplaced();
    // Checked once the load has marked the passed entries: only what may still ring matters.
    const bool nightly = m_inTick && m_clock.now().secondOfDay() >= BellEngine::kReloadSecondOfDay;
    QMetaObject::invokeMethod(
        this, [this, nightly] { startSoundCheck(nightly); }, Qt::QueuedConnection);
}

} // namespace halvix
