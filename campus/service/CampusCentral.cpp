#include "campus/service/CampusCentral.h"

#include "campus/ClockPing.h"

#include "campus/SnapshotApplier.h"
#include "campus/SoundList.h"
#include "campus/service/MqttLink.h"
#include "common/IdText.h"
#include "time/SystemClock.h"

#include <QCoreApplication>
#include <QDateTime>

#include <algorithm>

namespace halvix::campus {

namespace {

std::int64_t nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

std::string commandTopic(const Topics& topics, const CommandTarget& target) {
    switch (target.scope) {
    case CommandTarget::Scope::Node:
        return topics.nodeCommands(target.id);
    case CommandTarget::Scope::Zone:
        return topics.zoneCommands(target.id);
    case CommandTarget::Scope::All:
        break;
    }
    return topics.allCommands();
}

} // namespace

CampusCentral::CampusCentral(std::filesystem::path folder, CampusConfig config, MqttLink& link, Timing timing,
                             QObject* parent)
    : QObject(parent), m_folder(std::move(folder)), m_config(std::move(config)), m_link(link),
      m_timing(timing), m_topics(m_config.campus), m_root("halvix/" + m_config.campus + "/"),
      m_composer(m_config.nodeId, static_cast<std::uint32_t>(QCoreApplication::applicationPid())),
      m_cache(std::make_shared<SoundHashCache>()) {
    m_checkTimer.setInterval(m_timing.checkMs);
    connect(&m_checkTimer, &QTimer::timeout, this, &CampusCentral::checkNow);
    m_settleTimer.setSingleShot(true);
    connect(&m_settleTimer, &QTimer::timeout, this, [this] {
        m_settled = true;
        checkNow();
    });
    m_confirmTimer.setSingleShot(true);
    connect(&m_confirmTimer, &QTimer::timeout, this, [this] {
        const QString text =
            QStringLiteral("代理服务器没有确认共享计划版本 %1, 稍后再发布").arg(m_sent->revision);
        m_sent.reset();
        emit publishProblem(text);
        answer(m_echoWaiters, {PushOutcome::Kind::Failed, 0, text});
        if (m_again)
            startJob();
    });
    m_worker = std::thread([this] { workerLoop(); });
}

CampusCentral::~CampusCentral() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_worker.join();
}

void CampusCentral::start() {
    connect(&m_link, &MqttLink::connectedChanged, this, &CampusCentral::onConnected);
    connect(&m_link, &MqttLink::messageArrived, this, &CampusCentral::onMessage);
    m_link.subscribe(m_topics.snapshot());
    for (const char* kind : {"status", "ack", "log", "ping"})
        m_link.subscribe(m_root + kind + "/+");
    m_checkTimer.start();
    if (m_link.isConnected())
        onConnected(true);
}

void CampusCentral::onConnected(bool connected) {
    m_settled = false;
    if (!connected) {
        m_settleTimer.stop();
        return;
    }
    // The broker may have restarted without its retained messages: learn again what it holds.
    m_holdings = {};
    m_heldSounds.clear();
    m_soundList.clear();
    m_settleTimer.start(m_timing.settleMs);
}

void CampusCentral::checkNow() {
    if (!m_settled || !m_link.isConnected())
        return; // the next connect checks
    if (m_jobRunning || m_sent) {
        m_again = true;
        return;
    }
    startJob();
}

void CampusCentral::push(std::function<void(const PushOutcome&)> done) {
    if (!m_link.isConnected()) {
        done({PushOutcome::Kind::Failed, 0, QStringLiteral("未连接到代理服务器: ") + m_link.lastProblem()});
        return;
    }
    m_nextWaiters.push_back({std::move(done)});
    checkNow();
}

void CampusCentral::startJob() {
    m_jobRunning = true;
    m_again = false;
    m_jobWaiters = std::move(m_nextWaiters);
    m_nextWaiters.clear();
    BrokerHoldings holdings = m_holdings;
    // A snapshot sent but never confirmed may still reach the broker: never reuse its revision.
    holdings.revision = std::max(holdings.revision, m_lastSentRevision);
    std::lock_guard lock(m_mutex);
    m_task = [this, holdings = std::move(holdings)] {
        MqttLink* link = &m_link;
        const Publication publication = publishSnapshot(
            m_folder, m_topics, holdings, *m_cache, [link](const std::string& topic, std::string payload) {
                return link->publish({topic, std::move(payload), 1, true, 0});
            });
        QMetaObject::invokeMethod(
            this, [this, publication] { onJobDone(publication); }, Qt::QueuedConnection);
    };
    m_wake.notify_all();
}

void CampusCentral::workerLoop() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || m_task; });
            if (m_stopping)
                return;
            task = std::exchange(m_task, nullptr);
        }
        task();
    }
}

void CampusCentral::onJobDone(const Publication& publication) {
    m_jobRunning = false;
    switch (publication.outcome) {
    case Publication::Outcome::Unchanged:
        m_lastProblem.clear();
        answer(m_jobWaiters,
               {PushOutcome::Kind::Unchanged, publication.revision,
                QStringLiteral("共享计划没有变化, 代理服务器上已是版本 %1").arg(publication.revision)});
        break;
    case Publication::Outcome::Failed: {
        const QString text =
            QStringLiteral("共享计划未能发布: ") + QString::fromStdString(publication.problem);
        // Unattended, the same problem is told once, not at every check.
        if (m_jobWaiters.empty() && text != m_lastProblem)
            emit publishProblem(text);
        m_lastProblem = text;
        answer(m_jobWaiters, {PushOutcome::Kind::Failed, 0, text});
        break;
    }
    case Publication::Outcome::Sent:
        m_lastProblem.clear();
        m_sent = publication;
        m_lastSentRevision = publication.revision;
        for (Waiter& waiter : m_jobWaiters)
            m_echoWaiters.push_back(std::move(waiter));
        m_jobWaiters.clear();
        m_confirmTimer.start(m_timing.confirmMs);
        confirmIfEchoed();
        return;
    }
    if (m_again || !m_nextWaiters.empty())
        checkNow();
}

void CampusCentral::answer(std::vector<Waiter>& waiters, const PushOutcome& outcome) {
    std::vector<Waiter> now = std::move(waiters);
    waiters.clear();
    for (Waiter& waiter : now)
        waiter.done(outcome);
}

void CampusCentral::onMessage(const QString& topic, const QByteArray& payload, bool retained) {
    const std::string name = topic.toStdString();
    if (name == m_topics.snapshot()) {
        onSnapshotEcho(payload);
        if (retained && !m_settled && m_settleTimer.isActive()) {
            m_settleTimer.stop();
            m_settled = true;
            checkNow();
        }
        return;
    }
    if (name.compare(0, m_root.size(), m_root) != 0)
        return;
    const std::string rest = name.substr(m_root.size());
    const std::size_t slash = rest.find('/');
    if (slash == std::string::npos)
        return;
    const std::string kind = rest.substr(0, slash);
    const std::string node = rest.substr(slash + 1);
    if (!isValidId(node))
        return;
    const QString nodeText = QString::fromStdString(node);
    if (kind == "status")
        emit statusArrived(nodeText, payload);
    else if (kind == "ack")
        emit ackArrived(nodeText, payload);
    else if (kind == "log")
        emit logArrived(nodeText, payload);
    else if (kind == "ping")
        answerPing(node, payload);
}

void CampusCentral::onSnapshotEcho(const QByteArray& payload) {
    const SnapshotRead read =
        readSnapshot(std::string_view(payload.constData(), std::size_t(payload.size())));
    if (!read.ok())
        return; // not ours to judge; the next check publishes a good one over it
    m_replacedSounds = std::move(m_heldSounds);
    m_heldSounds = read.snapshot.sounds;
    m_holdings.fingerprint = contentFingerprint(read.snapshot);
    m_holdings.revision = read.snapshot.revision;
    m_holdings.sounds.clear();
    for (const SnapshotSound& sound : m_heldSounds)
        m_holdings.sounds.insert(sound.sha256);
    publishSoundList(read.snapshot.revision);
    confirmIfEchoed();
}

// The names of what the broker holds, for the duty office; said again after every connect, as the
// broker may have restarted without its retained messages.
void CampusCentral::publishSoundList(std::uint64_t revision) {
    std::string list = writeSoundList(revision, soundChoices(m_heldSounds));
    if (list == m_soundList)
        return;
    m_soundList = list;
    m_link.publish({m_topics.sounds(), std::move(list), 1, true, 0});
}

// The echo may come before the worker's report of what it sent: whichever is second confirms.
void CampusCentral::confirmIfEchoed() {
    if (!m_sent || m_sent->revision != m_holdings.revision || m_sent->fingerprint != m_holdings.fingerprint)
        return;
    m_confirmTimer.stop();
    const std::uint64_t revision = m_sent->revision;
    m_sent.reset();
    // Sounds no snapshot names any more would stay on the broker for good: cleared.
    for (const SnapshotSound& old : m_replacedSounds)
        if (!m_holdings.sounds.count(old.sha256))
            m_link.publish({m_topics.sound(old.sha256), {}, 1, true, 0});
    m_replacedSounds.clear();
    if (!storeRevision(m_folder, revision))
        emit publishProblem(
            QStringLiteral("共享计划版本 %1 已发布, 但版本号无法保存在数据库中").arg(revision));
    emit published(revision);
    answer(m_echoWaiters,
           {PushOutcome::Kind::Published, revision, QStringLiteral("已发布共享计划版本 %1").arg(revision)});
    if (m_again)
        checkNow();
}

void CampusCentral::answerPing(const std::string& node, const QByteArray& payload) {
    // t1 at receipt, t2 at sending: the node reckons its offset from both as NTP does.
    const std::int64_t received = nowMs();
    const PingRead ping = readPing(std::string_view(payload.constData(), std::size_t(payload.size())));
    if (!ping.ok() || ping.ping.node != node)
        return; // not readable, or names another node than its topic
    m_link.publish({m_topics.pong(node), writePong({ping.ping.t0, received, nowMs()}), 0, false, 0});
}

std::optional<Command> CampusCentral::send(const CommandRequest& request, QString& problem) {
    if (!m_link.isConnected()) {
        problem = QStringLiteral("未连接到代理服务器, 命令没有发出: ") + m_link.lastProblem();
        return std::nullopt;
    }
    const std::int64_t now = nowMs();
    std::string why;
    auto command =
        m_composer.compose(request, now, SystemClock::localTimeOf(static_cast<std::time_t>(now / 1000)), why);
    if (!command) {
        problem = QString::fromStdString(why);
        return std::nullopt;
    }
    if (!m_link.publish({commandTopic(m_topics, command->target), writeCommand(*command), 1, false,
                         command->expirySeconds})) {
        problem = QStringLiteral("命令未能发出: ") + m_link.lastProblem();
        return std::nullopt;
    }
    emit commandSent(*command);
    return command;
}

} // namespace halvix::campus
