#include "campus/service/NodeSnapshots.h"

#include "campus/service/MqttLink.h"
#include "campus/SnapshotReceiver.h"

#include <QStringList>
#include <QThread>

#include <algorithm>

namespace halvix::campus {

// The snapshot's receiver, used only on the thread this object lives on.
class SnapshotWorker final : public QObject {
public:
    explicit SnapshotWorker(std::filesystem::path folder) : receiver(std::move(folder)) {}
    SnapshotReceiver receiver;
};

// What one offer came to, handed from the worker's thread to this object's.
struct NodeSnapshots::Outcome {
    SnapshotReceiver::Result result = SnapshotReceiver::Result::Nothing;
    bool checked = false; // the held sounds were checked afresh (the applied revision offered again)
    std::string problem;
    std::uint64_t revision = 0;
    std::vector<std::string> wanted;
    std::vector<DamagedSound> repaired;
    std::vector<DamagedSound> damaged;
};

namespace {

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

QString soundsText(const std::vector<DamagedSound>& sounds) {
    QStringList parts;
    for (const DamagedSound& damaged : sounds)
        parts << QStringLiteral("%1 (%2)").arg(
            text(damaged.sound.name), damaged.missing ? QStringLiteral("缺失") : QStringLiteral("已损坏"));
    return parts.join(QStringLiteral(", "));
}

} // namespace

NodeSnapshots::NodeSnapshots(std::filesystem::path folder, MqttLink& link, Topics topics, int repairWaitMs,
                             QObject* parent)
    : QObject(parent), m_link(link), m_topics(std::move(topics)) {
    m_repairWait.setSingleShot(true);
    m_repairWait.setInterval(repairWaitMs);
    connect(&m_repairWait, &QTimer::timeout, this, [this] {
        for (const DamagedSound& damaged : m_damaged)
            if (damaged.problem.empty())
                m_overdue.insert(damaged.sound.sha256);
        updateProblems();
    });
    m_thread = new QThread(this);
    m_worker = new SnapshotWorker(std::move(folder));
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

NodeSnapshots::~NodeSnapshots() {
    m_worker->receiver.stop();
    m_thread->quit();
    m_thread->wait();
}

void NodeSnapshots::offerSnapshot(const QByteArray& payload) {
    offer({}, payload);
}

bool NodeSnapshots::offerSound(const std::string& topic, const QByteArray& payload) {
    std::string hash = m_topics.soundHashOf(topic);
    if (hash.empty() || !m_soundTopics.count(topic))
        return false;
    offer(std::move(hash), payload);
    return true;
}

void NodeSnapshots::offer(std::string hash, QByteArray payload) {
    // Checked, hashed, written and committed away from the window thread: the bell ticks on meanwhile.
    QMetaObject::invokeMethod(
        m_worker,
        [this, worker = m_worker, hash = std::move(hash), payload = std::move(payload)]() mutable {
            SnapshotReceiver& receiver = worker->receiver;
            Outcome outcome;
            outcome.result = hash.empty()
                                 ? receiver.offerSnapshot(std::string_view(
                                       payload.constData(), static_cast<std::size_t>(payload.size())))
                                 : receiver.offerSound(hash, payload.toStdString());
            payload.clear();
            using Result = SnapshotReceiver::Result;
            outcome.checked =
                hash.empty() && (outcome.result == Result::Nothing || outcome.result == Result::Waiting);
            outcome.problem = receiver.problem();
            outcome.revision = receiver.revision();
            outcome.wanted = receiver.wanted();
            outcome.repaired = receiver.repaired();
            outcome.damaged = receiver.damaged();
            QMetaObject::invokeMethod(
                this, [this, outcome = std::move(outcome)] { done(outcome); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void NodeSnapshots::done(const Outcome& outcome) {
    using Result = SnapshotReceiver::Result;
    subscribeSounds(outcome.wanted);
    switch (outcome.result) {
    case Result::Nothing:
    case Result::Waiting:
        break;
    case Result::Applied:
        emit applied(outcome.revision);
        break;
    case Result::Refused:
        emit refused(text(outcome.problem));
        break;
    case Result::Repaired:
        if (!outcome.repaired.empty())
            emit repaired(soundsText(outcome.repaired));
        break;
    }
    followRepair(outcome.damaged, outcome.checked);
}

void NodeSnapshots::subscribeSounds(const std::vector<std::string>& hashes) {
    std::set<std::string> topics;
    for (const std::string& hash : hashes)
        topics.insert(m_topics.sound(hash));
    for (const std::string& topic : m_soundTopics)
        if (!topics.count(topic))
            m_link.unsubscribe(topic);
    for (const std::string& topic : topics)
        if (!m_soundTopics.count(topic))
            m_link.subscribe(topic);
    m_soundTopics = std::move(topics);
}

void NodeSnapshots::followRepair(const std::vector<DamagedSound>& damaged, bool newCheck) {
    m_damaged = damaged;
    // A sound once found lacking on the broker stays reported until it is put back.
    std::erase_if(m_overdue, [this](const std::string& hash) {
        return std::none_of(m_damaged.begin(), m_damaged.end(), [&hash](const DamagedSound& d) {
            return d.sound.sha256 == hash && d.problem.empty();
        });
    });
    const bool waiting = std::any_of(m_damaged.begin(), m_damaged.end(), [this](const DamagedSound& d) {
        return d.problem.empty() && !m_overdue.count(d.sound.sha256);
    });
    // The broker sends what it keeps right after the subscription: a fresh check waits anew.
    if (!waiting)
        m_repairWait.stop();
    else if (newCheck || !m_repairWait.isActive())
        m_repairWait.start();
    updateProblems();
}

void NodeSnapshots::updateProblems() {
    std::vector<std::string> lines;
    for (const DamagedSound& damaged : m_damaged) {
        const std::string what = "声音文件 " + damaged.sound.name + (damaged.missing ? " 缺失" : " 已损坏");
        if (!damaged.problem.empty())
            lines.push_back(what + ", 无法修复: " + damaged.problem);
        else if (m_overdue.count(damaged.sound.sha256))
            lines.push_back(what + ", 校园服务器没有它的内容, 无法修复");
    }
    if (lines == m_problems)
        return;
    for (const std::string& line : lines)
        if (std::find(m_problems.begin(), m_problems.end(), line) == m_problems.end())
            qWarning("校园: %s", line.c_str());
    m_problems = std::move(lines);
    emit repairProblemsChanged();
}

} // namespace halvix::campus
