#include "campus/service/CampusRuntime.h"

#include "bell/service/Bell.h"
#include "campus/CampusAction.h"
#include "campus/service/CampusCentral.h"
#include "campus/service/CampusNode.h"
#include "campus/CampusStatusText.h"
#include "campus/LogReport.h"
#include "campus/service/MqttLink.h"
#include "campus/NodeBoard.h"
#include "campus/NodeReport.h"
#include "campus/SnapshotApplier.h"
#include "campus/Topics.h"

#include <QDateTime>

#include <cstdlib>

namespace halvix::campus {

namespace {

constexpr int kHeartbeatSeconds = 30;

// Tests and demonstrations shorten the heartbeat to see changes sooner.
int heartbeatSeconds() {
    if (const char* value = std::getenv("HALVIX_CAMPUS_HEARTBEAT")) {
        const int seconds = std::atoi(value);
        if (seconds >= 1 && seconds <= 3600)
            return seconds;
    }
    return kHeartbeatSeconds;
}

} // namespace

CampusRuntime::CampusRuntime(Bell& bell, QString version, QObject* parent)
    : QObject(parent), m_bell(bell), m_version(std::move(version)),
      m_read(readCampusConfig(m_bell.programFolder())) {
    // Before the bell's first tick: an emergency kept from the last run, or one for other zones,
    // must not sound here even for a moment.
    if (m_read.state == CampusConfigRead::State::Valid)
        m_bell.emergency().setOwnZones(m_read.config.zoneIds());
}

CampusRuntime::~CampusRuntime() {
    m_central.reset(); // before the link it uses
    m_node.reset();
    if (m_link)
        m_link->stop(); // leaves the offline status behind
}

void CampusRuntime::start() {
    for (const std::string& warning : m_read.warnings)
        emit notice(QStringLiteral("campus.ini: ") + QString::fromStdString(warning));
    if (m_read.state == CampusConfigRead::State::Absent)
        return;
    if (m_read.state == CampusConfigRead::State::Invalid) {
        QString text = QStringLiteral("campus.ini 有错误, 本机不连接校园服务器, 照常按自己的计划响铃:");
        for (const std::string& error : m_read.errors)
            text += QStringLiteral("\n") + QString::fromStdString(error);
        emit notice(text);
        return;
    }
    const CampusConfig& config = m_read.config;
    std::string problem;
    LinkSettings settings = linkSettingsOf(config, problem);
    if (!problem.empty()) {
        emit notice(QStringLiteral("校园: ") + QString::fromStdString(problem) +
                    QStringLiteral(", 本机不连接, 照常按自己的计划响铃"));
        return;
    }
    const Topics topics(config.campus);
    settings.will = OutMessage{topics.status(config.nodeId), writeOfflineStatus(config.nodeId), 1, true, 0};
    m_link = std::make_unique<MqttLink>(std::move(settings));
    connect(m_link.get(), &MqttLink::connectedChanged, this, &CampusRuntime::onConnectedChanged);
    m_node = std::make_unique<CampusNode>(config, m_bell, *m_link, m_version);
    connect(m_node.get(), &CampusNode::notice, this, &CampusRuntime::notice);
    m_node->start(heartbeatSeconds());
    if (config.role == CampusRole::Central)
        startCentral();
    QString why;
    if (!m_link->start(why)) {
        emit notice(QStringLiteral("校园: ") + why + QStringLiteral(", 本机不连接, 照常按自己的计划响铃"));
        m_node.reset();
        m_central.reset();
        m_link.reset();
    }
}

void CampusRuntime::startCentral() {
    // On the same link: it publishes the plan after saves and on request, answers the buildings'
    // pings and hands on their status, answers and log.
    m_central = std::make_unique<CampusCentral>(m_bell.programFolder(), m_read.config, *m_link);
    connect(m_central.get(), &CampusCentral::publishProblem, this, &CampusRuntime::notice);
    connect(m_central.get(), &CampusCentral::published, m_node.get(), &CampusNode::setPublishedRevision);
    // A save or an import reloads the bell: what is shared may have changed.
    connect(&m_bell, &Bell::planReloaded, m_central.get(), &CampusCentral::checkNow);
    connect(m_central.get(), &CampusCentral::logArrived, this,
            [this](const QString& node, const QByteArray& payload) {
                if (node.toStdString() == m_read.config.nodeId)
                    return; // this machine's own rows are in its log already
                LogReportRead read = readLogReport(payload.toStdString());
                if (!read.ok() || read.node != node.toStdString()) {
                    qWarning("校园: 忽略节点 %s 的无效响铃记录: %s", qUtf8Printable(node),
                             read.ok() ? "节点编号与主题不符" : read.problem.c_str());
                    return;
                }
                read.row.node = read.node;
                m_bell.recorder().log().appendFromNode(std::move(read.row));
            });
    followBuildings();
    m_central->start();
}

void CampusRuntime::followBuildings() {
    m_board = std::make_unique<NodeBoard>();
    const auto now = [] { return QDateTime::currentMSecsSinceEpoch(); };
    CampusCentral& central = *m_central;
    connect(&central, &CampusCentral::statusArrived, this,
            [this, now](const QString& node, const QByteArray& payload) {
                const std::string problem =
                    m_board->receiveStatus(payload.toStdString(), node.toStdString(), now());
                if (!problem.empty())
                    qWarning("校园: 忽略节点 %s 的状态: %s", qUtf8Printable(node), problem.c_str());
            });
    connect(&central, &CampusCentral::ackArrived, this,
            [this, now](const QString& node, const QByteArray& payload) {
                m_board->receiveAck(payload.toStdString(), node.toStdString(), now());
            });
    connect(&central, &CampusCentral::commandSent, this,
            [this](const Command& command) { m_board->commandSent(command); });
    connect(&central, &CampusCentral::published, this,
            [this, now](quint64 revision) { m_board->setCentralRevision(revision, now()); });
    // A building that falls silent sends nothing: the board is looked at every second.
    m_boardTimer = new QTimer(this);
    connect(m_boardTimer, &QTimer::timeout, this, [this, now] {
        // Offline matters while an entry of today is still to come here.
        for (const BoardNotice& item : m_board->takeNotices(now(), m_bell.idleReason().isEmpty()))
            emit notice(QString::fromStdString(item.text));
        emit buildingsInTrouble(m_board->warnedNodes());
    });
    m_boardTimer->start(1000);
}

void CampusRuntime::request(const CampusAction& action) {
    if (!m_central)
        return;
    QString problem;
    if (!m_central->send({action.kind, action.target, action.sound, std::nullopt}, problem))
        emit notice(problem);
}

void CampusRuntime::startEmergency(const QString& sound, const QStringList& zones) {
    std::vector<std::string> ids;
    for (const QString& zone : zones)
        ids.push_back(zone.toStdString());
    if (const std::string problem =
            m_bell.emergency().start(sound.toStdString(), std::move(ids), emergencyBy());
        !problem.empty())
        emit notice(QStringLiteral("紧急广播未发出: ") + QString::fromStdString(problem));
}

void CampusRuntime::clearEmergency() {
    m_bell.emergency().clear(emergencyBy());
}

std::string CampusRuntime::emergencyBy() const {
    const CampusConfig& config = m_read.config;
    return (config.name.empty() ? config.nodeId : config.name) + " 校园窗口";
}

void CampusRuntime::onConnectedChanged(bool connected) {
    if (connected == m_connected)
        return;
    m_connected = connected;
    const QString broker = QString::fromStdString(m_read.config.broker.host);
    if (connected) {
        if (m_everConnected)
            emit notice(QStringLiteral("已重新连接校园服务器 %1").arg(broker));
        else
            qInfo("已连接校园服务器 %s", qUtf8Printable(broker));
        m_everConnected = true;
    } else if (m_everConnected) {
        emit notice(QStringLiteral("与校园服务器 %1 的连接中断 (%2), 本机照常按自己的计划响铃")
                        .arg(broker, m_link ? m_link->lastProblem() : QString()));
    }
}

QString CampusRuntime::statusText() const {
    LinkState state;
    if (m_link) {
        state.connected = m_link->isConnected();
        state.problem = m_link->lastProblem().toStdString();
    } else {
        state.problem = "本次运行没有连接 (见程序启动时的提示)";
    }
    if (m_node) {
        const NodeStatus status = m_node->status();
        state.clock = status.clock;
        state.snapshotProblem = status.snapshotProblem;
        state.repairProblems = m_node->repairProblems();
        if (m_node->lastSyncMs() > 0)
            state.lastSync = QDateTime::fromMSecsSinceEpoch(m_node->lastSyncMs())
                                 .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                 .toStdString();
    }
    return QString::fromStdString(campusStatusText(m_read, storedRevision(m_bell.programFolder()), &state));
}

} // namespace halvix::campus
