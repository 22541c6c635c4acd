// A campus of simulated buildings on a loopback broker: each building is the node's own code for
// the shared plan and commands (SnapshotReceiver, CommandDesk) on a connection of its own, without
// a bell or sound. Measures, from the central's side:
//  - a save to every building reporting the new revision (the central builds and publishes the
//    snapshot, each building checks and applies it in one transaction and reports), per building
//    and for the last of them;
//  - a command to all to every building's answer;
//  - a new building's first connect to its plan applied, with 30 sounds of 1 MB, next to `cp` of
//    the same files (neither waits for the disk).
// Each building handles its messages on a thread of its own, as its own machine would; all share
// this machine's cores and disk.
// Needs mosquitto. Usage: bench_CampusUiBench [nodes=100] [saves=20]
#include "campus/CommandDesk.h"
#include "campus/NodeReport.h"
#include "campus/SnapshotReceiver.h"
#include "campus/service/CampusCentral.h"
#include "campus/service/MqttLink.h"
#include "support/LoopbackBroker.h"
#include "support/ScheduleFixture.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <vector>

namespace {

using namespace halvix;
using namespace halvix::campus;

const Topics kTopics("bench");

std::int64_t nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// Handles events until `done`, for at most `ms`; false on the time running out.
bool pumpUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

std::string_view bytesOf(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// One building: its program folder, its connection, the node's code for plans and commands.
class SimulatedNode {
public:
    SimulatedNode(std::string id, const test::LoopbackBroker& broker)
        : m_id(std::move(id)), m_link(broker.linkSettings(m_id)), m_receiver(m_folder.folder()),
          m_desk(m_id, {}, m_memory) {
        m_folder.writeWeekFile("1125");
        QObject::connect(&m_link, &MqttLink::messageArrived, &m_link,
                         [this](const QString& topic, const QByteArray& payload, bool) {
                             onMessage(topic.toStdString(), payload);
                         });
        m_link.subscribe(kTopics.snapshot());
        m_link.subscribe(kTopics.nodeCommands(m_id));
        m_link.subscribe(kTopics.allCommands());
        m_link.moveToThread(&m_thread);
        m_thread.start();
    }
    ~SimulatedNode() {
        m_thread.quit();
        m_thread.wait();
    }
    bool start() {
        QString problem;
        return m_link.start(problem);
    }
    std::uint64_t applied() const { return m_applied.load(); }

private:
    void onMessage(const std::string& topic, const QByteArray& payload) {
        if (topic == kTopics.snapshot()) {
            settle(m_receiver.offerSnapshot(bytesOf(payload)));
        } else if (const std::string hash = kTopics.soundHashOf(topic); !hash.empty()) {
            settle(m_receiver.offerSound(hash, payload.toStdString()));
        } else {
            const CommandDecision decision = m_desk.receive(bytesOf(payload), "2026-12-08", nowMs());
            if (decision.action == CommandDecision::Action::Ignore)
                return;
            const CommandAck ack = decision.action == CommandDecision::Action::Act
                                       ? m_desk.finish(decision.command, AckResult::Stopped, {}, nowMs())
                                       : decision.ack;
            m_link.publish({kTopics.ack(m_id), writeAck(ack), 1, false, 0});
        }
    }
    void settle(SnapshotReceiver::Result result) {
        if (result == SnapshotReceiver::Result::Waiting) {
            for (const std::string& hash : m_receiver.wanted())
                if (m_subscribed.insert(hash).second)
                    m_link.subscribe(kTopics.sound(hash));
        } else if (result == SnapshotReceiver::Result::Applied) {
            for (const std::string& hash : m_subscribed)
                m_link.unsubscribe(kTopics.sound(hash));
            m_subscribed.clear();
            m_applied = m_receiver.revision();
            NodeStatus status;
            status.node = m_id;
            status.online = true;
            status.revision = m_applied;
            m_link.publish({kTopics.status(m_id), writeStatus(status), 1, true, 0});
        } else if (result == SnapshotReceiver::Result::Refused) {
            std::printf("%s refused the snapshot: %s\n", m_id.c_str(), m_receiver.problem().c_str());
        }
    }

    QThread m_thread; // stopped before the rest goes
    std::string m_id;
    test::ScheduleFixture m_folder;
    MqttLink m_link;
    SnapshotReceiver m_receiver;
    CommandMemory m_memory;
    CommandDesk m_desk;
    std::set<std::string> m_subscribed;
    std::atomic<std::uint64_t> m_applied = 0;
};

double quantile(std::vector<double> values, double q) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(q * double(values.size() - 1) + 0.5)];
}

// When each building reported what, as the central hears it.
struct Reports {
    std::map<std::string, std::pair<std::uint64_t, std::int64_t>> revisions; // node -> revision, at ms
    std::map<std::string, std::pair<std::string, std::int64_t>> acks;        // node -> command id, at ms
    std::size_t at(std::uint64_t revision) const {
        return std::size_t(std::count_if(revisions.begin(), revisions.end(),
                                         [revision](const auto& r) { return r.second.first >= revision; }));
    }
};

// Each building's delay in rounds from `startMs`, and the last building's per round.
struct Delays {
    std::vector<double> perNode;
    std::vector<double> last;
    template <typename Reported>
    void addRound(const std::map<std::string, Reported>& reported, std::int64_t startMs) {
        std::int64_t latest = 0;
        for (const auto& [node, report] : reported) {
            perNode.push_back(double(report.second - startMs));
            latest = std::max(latest, report.second - startMs);
        }
        last.push_back(double(latest));
    }
    void print(const char* what, int nodes, int rounds, const char* unit) const {
        std::printf(
            "%s (%d buildings, %d %s): per building p50 %.0f ms, p99 %.0f ms; last building p50 %.0f ms, "
            "p99 %.0f ms\n",
            what, nodes, rounds, unit, quantile(perNode, 0.5), quantile(perNode, 0.99), quantile(last, 0.5),
            quantile(last, 0.99));
    }
};

std::string sizedSound(std::mt19937& random, std::size_t size) {
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xff);
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int nodeCount = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    const int saves = argc > 2 ? std::max(3, std::atoi(argv[2])) : 20;

    test::LoopbackBroker broker(
        "max_inflight_messages 100\nmax_queued_messages 10000\nset_tcp_nodelay true\n");
    if (!broker.start()) {
        std::printf("mosquitto did not start\n");
        return 2;
    }
    test::ScheduleFixture centralFolder;
    centralFolder.writeWeekFile("1125");
    centralFolder.insertPlan("cjtime", {{"1", "", "08:00:00", "上课", "上课.mp3", "待完", ""}});
    centralFolder.temp().write("voic/上课.mp3", "a small bell");
    CampusConfig config;
    config.role = CampusRole::Central;
    config.campus = "bench";
    config.nodeId = "office";
    config.broker = {false, "127.0.0.1", broker.port()};
    MqttLink centralLink(broker.linkSettings("office"));
    Reports reports;
    QObject::connect(&centralLink, &MqttLink::messageArrived, &centralLink,
                     [&reports](const QString& topic, const QByteArray& payload, bool) {
                         const std::string name = topic.toStdString();
                         if (name.rfind(kTopics.status(""), 0) == 0) {
                             const StatusRead read = readStatus(bytesOf(payload));
                             if (read.ok())
                                 reports.revisions[read.status.node] = {read.status.revision, nowMs()};
                         } else if (name.rfind(kTopics.ack(""), 0) == 0) {
                             const AckRead read = readAck(bytesOf(payload));
                             if (read.ok())
                                 reports.acks[read.ack.node] = {read.ack.command, nowMs()};
                         }
                     });
    CampusCentral central(centralFolder.folder(), config, centralLink, {3600000, 300, 60000});
    QString problem;
    centralLink.start(problem);
    central.start();

    std::vector<std::unique_ptr<SimulatedNode>> nodes;
    for (int i = 0; i < nodeCount; ++i) {
        nodes.push_back(std::make_unique<SimulatedNode>("n" + std::to_string(i), broker));
        nodes.back()->start();
    }
    if (!pumpUntil([&] { return reports.at(1) == std::size_t(nodeCount); }, 120000)) {
        std::printf("only %zu of %d buildings applied the first plan\n", reports.at(1), nodeCount);
        return 1;
    }

    // Saves: a row changed, the central told, every building's report of the new revision.
    Delays saveDelays;
    for (int save = 0; save < saves; ++save) {
        centralFolder.run("update cjtime set 事件 = '上课 " + std::to_string(save) + "'");
        const std::uint64_t revision = central.revision() + 1;
        const std::int64_t saved = nowMs();
        central.checkNow();
        if (!pumpUntil([&] { return reports.at(revision) == std::size_t(nodeCount); }, 60000)) {
            std::printf("save %d: only %zu of %d buildings reported revision %llu\n", save,
                        reports.at(revision), nodeCount, static_cast<unsigned long long>(revision));
            return 1;
        }
        saveDelays.addRound(reports.revisions, saved);
    }
    saveDelays.print("save to every building reporting the revision", nodeCount, saves, "saves");

    // Commands to all.
    Delays commandDelays;
    for (int round = 0; round < saves; ++round) {
        const std::int64_t sent = nowMs();
        const auto command = central.send({CommandKind::Stop, {}, "", 60}, problem);
        if (!command) {
            std::printf("command not sent: %s\n", qPrintable(problem));
            return 1;
        }
        const auto answered = [&] {
            return std::size_t(std::count_if(reports.acks.begin(), reports.acks.end(),
                                             [&](const auto& a) { return a.second.first == command->id; }));
        };
        if (!pumpUntil([&] { return answered() == std::size_t(nodeCount); }, 60000)) {
            std::printf("command %d: only %zu of %d buildings answered\n", round, answered(), nodeCount);
            return 1;
        }
        commandDelays.addRound(reports.acks, sent);
    }
    commandDelays.print("command to all to every building's answer", nodeCount, saves, "commands");
    nodes.clear();

    // A new building with a plan of 30 sounds, 30 MB.
    std::mt19937 random(7);
    for (int i = 0; i < 30; ++i)
        centralFolder.temp().write("voic/新声音" + std::to_string(i) + ".mp3", sizedSound(random, 1 << 20));
    const std::uint64_t big = central.revision() + 1;
    central.checkNow();
    if (!pumpUntil([&] { return central.revision() >= big; }, 120000)) {
        std::printf("the plan with 30 sounds was not published\n");
        return 1;
    }
    std::vector<double> joins, copies;
    for (int trial = 0; trial < 3; ++trial) {
        SimulatedNode newcomer("new" + std::to_string(trial), broker);
        QElapsedTimer timer;
        timer.start();
        newcomer.start();
        if (!pumpUntil([&] { return newcomer.applied() >= big; }, 120000)) {
            std::printf("the new building did not apply the plan\n");
            return 1;
        }
        joins.push_back(double(timer.elapsed()));
        test::TempFolder copy;
        timer.restart();
        QProcess::execute("cp", {"-r", QString::fromStdString((centralFolder.folder() / "voic").string()),
                                 QString::fromStdString(copy.path().string())});
        copies.push_back(double(timer.elapsed()));
    }
    std::printf("new building, first connect to plan applied, 30 sounds of 1 MB (3 trials): p50 %.0f ms, max "
                "%.0f ms; "
                "cp -r of the same files: p50 %.0f ms\n",
                quantile(joins, 0.5), quantile(joins, 1.0), quantile(copies, 0.5));
    return 0;
}
