#include "campus/service/CampusNode.h"

#include "bell/BellEngine.h"
#include "bell/service/Bell.h"
#include "calendar/TodayMute.h"
#include "campus/CampusEmergency.h"
#include "campus/CommandDesk.h"
#include "campus/LogReport.h"
#include "campus/SnapshotApplier.h"
#include "campus/TodayReport.h"
#include "campus/service/MqttLink.h"
#include "campus/service/NodeSnapshots.h"
#include "common/TextFile.h"
#include "ringlog/RingLog.h"
#include "ringlog/SoundCheck.h"
#include "store/TableCatalogue.h"
#include "time/CivilDate.h"
#include "time/LocalTime.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QPointer>

#include <sys/timex.h>

#include <algorithm>

namespace halvix::campus {

namespace {

// Commands seen, kept in the program folder so that a command redelivered after a restart is
// answered, never acted on again.
constexpr const char* kCommandMemoryFile = "campus-commands.txt";

// How long the 主控 waits after connecting for the broker's retained emergency before it takes
// its own kept state for the campus's: a broker that never had one sends nothing.
constexpr int kRetainedWaitMs = 3000;

std::int64_t nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

bool kernelClockSynchronised() {
    timex state{};
    const int result = adjtimex(&state);
    return result != -1 && result != TIME_ERROR && !(state.status & STA_UNSYNC);
}

CampusNode::CampusNode(CampusConfig config, Bell& bell, MqttLink& link, QString version, QObject* parent)
    : QObject(parent), m_config(std::move(config)), m_bell(bell), m_link(link), m_version(std::move(version)),
      m_topics(m_config.campus), m_memory(std::make_unique<CommandMemory>()) {
    m_desk = std::make_unique<CommandDesk>(m_config.nodeId, m_config.zoneIds(), *m_memory);
    const std::filesystem::path& folder = m_bell.programFolder();
    if (const auto saved = readFileContent(folder / kCommandMemoryFile))
        m_memory->load(*saved, nowMs());
    removeApplyLeftovers(folder);
    m_revision = storedRevision(folder).value_or(0);
    m_snapshots = std::make_unique<NodeSnapshots>(folder, m_link, m_topics);
    connect(m_snapshots.get(), &NodeSnapshots::applied, this, &CampusNode::snapshotApplied);
    connect(m_snapshots.get(), &NodeSnapshots::refused, this, [this](const QString& problem) {
        m_snapshotProblem = problem.toStdString();
        emit notice(problem + QStringLiteral(" (本机照常按原有计划响铃)"));
        publishStatus();
    });
    connect(m_snapshots.get(), &NodeSnapshots::repaired, this, [this](const QString& sounds) {
        emit notice(QStringLiteral("已修复声音文件 ") + sounds);
        // The bell checks its sounds again and prepares the repaired ones afresh.
        m_bell.reloadPlan();
        publishStatus();
    });
    connect(m_snapshots.get(), &NodeSnapshots::repairProblemsChanged, this, &CampusNode::publishStatus);
}

CampusNode::~CampusNode() = default;

void CampusNode::start(int heartbeatSeconds) {
    connect(&m_link, &MqttLink::connectedChanged, this, &CampusNode::onConnected);
    connect(&m_link, &MqttLink::messageArrived, this,
            [this](const QString& topic, const QByteArray& payload, bool) { onMessage(topic, payload); });
    connect(&m_bell.recorder(), &RingRecorder::entryLogged, this, &CampusNode::onEntryLogged);
    connect(&m_bell, &Bell::decisionChanged, this, [this] {
        publishStatus();
        publishToday();
    });
    connect(&m_bell, &Bell::soundsChecked, this, &CampusNode::publishStatus);
    connect(&m_bell, &Bell::soundOutputChanged, this, &CampusNode::publishStatus);
    connect(&m_bell.emergency(), &EmergencyControl::stateChanged, this, &CampusNode::onBellEmergencyChanged);
    m_emergencyWait.setSingleShot(true);
    m_emergencyWait.setInterval(kRetainedWaitMs);
    connect(&m_emergencyWait, &QTimer::timeout, this, [this] {
        if (!m_emergencyHeard && m_bell.emergency().state().active)
            publishEmergency();
    });
    connect(&m_heartbeat, &QTimer::timeout, this, &CampusNode::heartbeat);
    m_link.subscribe(m_topics.snapshot());
    m_link.subscribe(m_topics.nodeCommands(m_config.nodeId));
    for (const Zone& zone : m_config.zones)
        m_link.subscribe(m_topics.zoneCommands(zone.id));
    m_link.subscribe(m_topics.allCommands());
    m_link.subscribe(m_topics.pong(m_config.nodeId), 0);
    m_link.subscribe(m_topics.emergency());
    m_heartbeat.start(std::max(1, heartbeatSeconds) * 1000);
    readTodayRings();
    publishStatus();
    publishToday();
}

void CampusNode::readTodayRings() {
    const QPointer<CampusNode> self(this);
    m_bell.recorder().log().read([self, today = dateText(dateOf(m_bell.clock().now()))](RingLog& log) {
        // Unreadable: the day's rows to come are reported still. The application outlives the read.
        if (auto rows = log.rowsOn(today))
            QMetaObject::invokeMethod(QCoreApplication::instance(),
                                      [self, rows = std::move(*rows)]() mutable {
                                          if (self)
                                              self->takeTodayRings(std::move(rows));
                                      });
    });
}

void CampusNode::takeTodayRings(std::vector<RingRow> rows) {
    // Rows logged while the read waited its turn are among these or come after them.
    for (RingRow& row : m_todayRings)
        if (std::find(rows.begin(), rows.end(), row) == rows.end())
            rows.push_back(std::move(row));
    m_todayRings = std::move(rows);
    publishToday();
}

void CampusNode::onConnected(bool connected) {
    if (!connected)
        return;
    // The broker may have lost what was retained (a restart without persistence): said again.
    m_lastToday.clear();
    m_emergencyHeard = false;
    if (m_config.role == CampusRole::Central)
        m_emergencyWait.start();
    heartbeat();
    publishToday();
}

bool CampusNode::onMessage(const QString& topic, const QByteArray& payload) {
    const std::string name = topic.toStdString();
    if (name == m_topics.snapshot()) {
        if (m_config.role == CampusRole::Central)
            return false; // its own publication coming back
        m_snapshots->offerSnapshot(payload);
    } else if (!m_topics.soundHashOf(name).empty()) {
        return m_snapshots->offerSound(name, payload);
    } else if (name == m_topics.emergency()) {
        onEmergency(payload);
    } else if (isCommandTopic(name)) {
        onCommand(payload);
    } else if (name == m_topics.pong(m_config.nodeId)) {
        const PongRead read = readPong(payload.toStdString());
        if (!read.ok())
            qWarning("校园: 忽略无效的时钟回答: %s", read.problem.c_str());
        else
            m_pinger.answer(read.pong, nowMs());
    } else {
        return false;
    }
    return true;
}

bool CampusNode::isCommandTopic(const std::string& topic) const {
    if (topic == m_topics.nodeCommands(m_config.nodeId) || topic == m_topics.allCommands())
        return true;
    for (const Zone& zone : m_config.zones)
        if (topic == m_topics.zoneCommands(zone.id))
            return true;
    return false;
}

void CampusNode::snapshotApplied(std::uint64_t revision) {
    m_revision = revision;
    m_snapshotProblem.clear();
    m_lastSyncMs = nowMs();
    {
        // The shared plan holds the day type and term too. A failure to read them shows again
        // in the load below, which then fails and is retried rather than ring the old choice.
        SilentSink quiet;
        m_bell.useStoredChoice(quiet);
    }
    // As a change of day type does: what rang today stays rung.
    m_bell.reloadPlan();
    emit notice(QStringLiteral("已应用共享计划, 版本 %1").arg(revision));
    publishStatus();
    publishToday();
}

void CampusNode::setPublishedRevision(std::uint64_t revision) {
    m_revision = revision;
    m_lastSyncMs = nowMs();
    publishStatus();
}

void CampusNode::onCommand(const QByteArray& payload) {
    const std::string today = dateText(dateOf(m_bell.clock().now()));
    const CommandDecision decision = m_desk->receive(payload.toStdString(), today, nowMs());
    switch (decision.action) {
    case CommandDecision::Action::Ignore:
        qWarning("校园: %s", decision.problem.c_str());
        return;
    case CommandDecision::Action::Answer:
        saveCommandMemory();
        publish(m_topics.ack(m_config.nodeId), writeAck(decision.ack), false);
        return;
    case CommandDecision::Action::Act:
        break;
    }
    // On disk before acting: a command is acted on at most once, even across a crash.
    saveCommandMemory();
    if (decision.command.kind == CommandKind::Play)
        return play(decision.command);
    auto [result, detail] = act(decision.command);
    answer(decision.command, result, std::move(detail));
}

void CampusNode::answer(const Command& command, AckResult result, std::string detail) {
    const CommandAck ack = m_desk->finish(command, result, std::move(detail), nowMs());
    saveCommandMemory();
    publish(m_topics.ack(m_config.nodeId), writeAck(ack), false);
    publishStatus();
}

void CampusNode::play(const Command& command) {
    // The emergency has the loudspeakers: nothing else sounds, nothing it plays is stopped.
    if (m_bell.emergency().sounding())
        return answer(command, AckResult::Refused, m_bell.playRefusal().toStdString());
    if (const auto problem = checkSound(m_bell.programFolder(), command.sound))
        return answer(command, AckResult::MissingSound, command.sound + ": " + problem->reason);
    // Answered once the loudspeakers played it, or it is known that they did not.
    const QPointer<CampusNode> self(this);
    const bool started = m_bell.playNow(command.sound, [self, command](const RingRow& row) {
        if (!self)
            return;
        auto [result, detail] = playAnswer(row);
        self->answer(command, result, std::move(detail));
    });
    if (!started)
        answer(command, AckResult::Refused, m_bell.playRefusal().toStdString());
}

std::pair<AckResult, std::string> CampusNode::act(const Command& command) {
    std::string error;
    switch (command.kind) {
    case CommandKind::Play:
        break; // see play()
    case CommandKind::Stop:
        if (m_bell.emergency().sounding())
            return {AckResult::Refused, m_bell.emergency().text().toStdString() + ", 只有解除紧急广播才停止"};
        return {AckResult::Stopped, m_bell.stopPlaying() ? std::string() : "没有正在播放的声音"};
    case CommandKind::Mute:
    case CommandKind::Unmute: {
        const bool mute = command.kind == CommandKind::Mute;
        if (!setDayMuted(m_bell.programFolder(), dateOf(m_bell.clock().now()), mute, error))
            return {AckResult::Failed, error};
        m_bell.reloadPlan();
        return {mute ? AckResult::Muted : AckResult::Unmuted, {}};
    }
    case CommandKind::Reload:
        m_bell.reloadPlan();
        return {AckResult::Reloaded, {}};
    }
    return {AckResult::Failed, "未知的命令"};
}

void CampusNode::onEmergency(const QByteArray& payload) {
    // An empty retained message removes the campus's state: no word on the emergency at all.
    if (payload.isEmpty())
        return;
    m_emergencyHeard = true;
    EmergencyRead read = readEmergency(std::string_view(payload.constData(), std::size_t(payload.size())));
    if (!read.ok()) {
        qWarning("校园: 拒绝收到的紧急广播状态, 本机保持原状: %s", read.problem.c_str());
        m_emergencyProblem = read.problem;
        publishStatus();
        return;
    }
    m_emergencyProblem.clear();
    const bool central = m_config.role == CampusRole::Central;
    const CampusEmergencyStep step =
        campusEmergencyStep(m_bell.emergency().state(), m_campusEmergency, read.state, central);
    if (step != CampusEmergencyStep::Stale)
        m_campusEmergency = read.state;
    if (step == CampusEmergencyStep::Obey)
        m_bell.emergency().set(read.state); // a change is reported through onBellEmergencyChanged
    else if (step == CampusEmergencyStep::KeepOwn && central)
        publishEmergency();
    publishStatus();
}

void CampusNode::onBellEmergencyChanged() {
    if (m_config.role == CampusRole::Central && m_bell.emergency().state() != m_campusEmergency)
        publishEmergency();
    publishStatus();
}

void CampusNode::publishEmergency() {
    m_campusEmergency = m_bell.emergency().state();
    publish(m_topics.emergency(), writeEmergency(*m_campusEmergency), true);
}

void CampusNode::saveCommandMemory() {
    if (std::string problem;
        !replaceFileContent(m_bell.programFolder() / kCommandMemoryFile, m_memory->save(), problem))
        qWarning("校园: 无法保存已收到的命令 (%s)", problem.c_str());
}

void CampusNode::onEntryLogged(const RingRow& row) {
    publish(m_topics.log(m_config.nodeId), writeLogReport(m_config.nodeId, row), false);
    m_todayRings.push_back(row);
    if (!row.planTime.empty() || row.result == resultWord(RingResult::Manual))
        m_lastRing = LastRing{nowMs(), row.planTime, row.event, row.result, row.delayMs};
    publishStatus();
    publishToday();
}

void CampusNode::heartbeat() {
    const Ping ping = m_pinger.ping(m_config.nodeId, nowMs());
    publish(m_topics.ping(m_config.nodeId), writePing(ping), false, 0);
    publishStatus();
    // The day's plan changes at midnight without a ring or a new decision.
    publishToday();
}

NodeStatus CampusNode::status() const {
    NodeStatus status;
    status.node = m_config.nodeId;
    status.name = m_config.name;
    // Ids, as the topics and the targets of commands and of the emergency name them.
    status.zones = m_config.zoneIds();
    for (const Zone& zone : m_config.zones)
        status.zoneNames.push_back(zone.name);
    status.central = m_config.role == CampusRole::Central;
    status.online = true;
    status.revision = m_revision;
    status.snapshotProblem = m_snapshotProblem;
    status.today = m_bell.todayText().toStdString();
    const DayPlan& plan = m_bell.plan();
    for (int row = 0; row < plan.size(); ++row)
        if (plan[row].state == EntryState::Pending) {
            status.next = NextEntry{plan[row].time, plan[row].event, plan[row].sound};
            break;
        }
    status.lastRing = m_lastRing;
    // First: while it lasts, no entry is heard at all.
    if (const QString output = m_bell.soundOutputProblem(); !output.isEmpty())
        status.soundProblems.push_back("声音输出: " + output.toStdString());
    for (const EntryProblem& problem : m_bell.soundProblems())
        status.soundProblems.push_back(problem.time + " " + problem.sound + ": " + problem.problem.result +
                                       ": " + problem.problem.reason);
    for (const std::string& problem : repairProblems())
        status.soundProblems.push_back(problem);
    if (status.soundProblems.size() > 100)
        status.soundProblems.resize(100);
    status.clock.synchronised = kernelClockSynchronised();
    status.clock.offsetMs = m_pinger.offsetMs();
    status.emergency = {m_bell.emergency().state().active, m_bell.emergency().sounding(),
                        m_bell.emergency().state().sound, m_emergencyProblem};
    status.version = m_version.toStdString();
    status.sentMs = nowMs();
    return status;
}

const std::vector<std::string>& CampusNode::repairProblems() const {
    return m_snapshots->repairProblems();
}

void CampusNode::publishStatus() {
    publish(m_topics.status(m_config.nodeId), writeStatus(status()), true);
}

void CampusNode::publishToday() {
    const std::string date = dateText(dateOf(m_bell.clock().now()));
    keepRingsOf(date, m_todayRings);
    TodayReport today = todayReportOf(m_config.nodeId, date, m_bell.todayText().toStdString(), m_bell.plan());
    today.rings = m_todayRings;
    std::string report = writeTodayReport(today);
    if (report == m_lastToday)
        return;
    m_lastToday = report;
    publish(m_topics.today(m_config.nodeId), report, true);
}

void CampusNode::publish(const std::string& topic, const std::string& payload, bool retain, int qos) {
    OutMessage message;
    message.topic = topic;
    message.payload = payload;
    message.qos = qos;
    message.retain = retain;
    m_link.publish(message);
}

} // namespace halvix::campus
