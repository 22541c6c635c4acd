#include "campus/service/NodeSnapshots.h"
#include "LoopbackBroker.h"
#include "campus/service/MqttLink.h"
#include "campus/Sha256.h"
#include "campus/SnapshotApplier.h"
#include "support/CampusSnapshots.h"
#include "support/PageCache.h"
#include "support/ScheduleFixture.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>

using namespace halvix;
using namespace halvix::campus;

namespace {

const Topics kTopics("test");

// A building that applied revision 2 of a plan with the given sounds ("name", "bytes").
struct Building {
    test::ScheduleFixture folder;
    Snapshot snapshot = test::validSnapshot(2);
    SoundBytes bytes;
    std::string applyProblem;

    explicit Building(const std::vector<std::pair<std::string, std::string>>& sounds) {
        snapshot.sounds.clear();
        for (const auto& [name, content] : sounds) {
            snapshot.sounds.push_back({name, sha256Hex(content), content.size()});
            bytes[sha256Hex(content)] = content;
        }
        applyProblem = applySnapshot(folder.folder(), snapshot, bytes);
    }
    std::filesystem::path file(const std::string& name) const { return folder.folder() / "voic" / name; }
};

// The building's side on a real broker: its link hands the snapshot and the sounds it waits for on.
struct NodeRig {
    NodeRig(const test::LoopbackBroker& broker, const Building& building, int repairWaitMs)
        : link(broker.linkSettings("b1")), snapshots(building.folder.folder(), link, kTopics, repairWaitMs),
          repaired(&snapshots, &NodeSnapshots::repaired), applied(&snapshots, &NodeSnapshots::applied) {
        QObject::connect(&link, &MqttLink::messageArrived, &snapshots,
                         [this](const QString& topic, const QByteArray& payload) {
                             if (topic.toStdString() == kTopics.snapshot())
                                 snapshots.offerSnapshot(payload);
                             else
                                 snapshots.offerSound(topic.toStdString(), payload);
                         });
        link.subscribe(kTopics.snapshot());
        QString problem;
        link.start(problem);
    }
    MqttLink link;
    NodeSnapshots snapshots;
    QSignalSpy repaired;
    QSignalSpy applied;
};

// The central's retained publications.
struct CentralRig {
    explicit CentralRig(const test::LoopbackBroker& broker) : link(broker.linkSettings("office")) {
        QString problem;
        link.start(problem);
    }
    void publishSound(const std::string& content) {
        link.publish({kTopics.sound(sha256Hex(content)), content, 1, true, 0});
    }
    void publishSnapshot(const Snapshot& snapshot) {
        link.publish({kTopics.snapshot(), writeSnapshot(snapshot), 1, true, 0});
    }
    MqttLink link;
};

} // namespace

class NodeSnapshotsTest : public QObject {
    Q_OBJECT
private slots:
    // The held sounds of the applied revision are checked when its snapshot arrives: what the
    // broker holds is put back at once and told once; what it lacks is a problem after the wait,
    // until the central publishes it. The revision never changes.
    void putsBackWhatTheBrokerHoldsAndReportsWhatItLacks() {
        test::LoopbackBroker broker;
        QVERIFY(broker.start());
        Building building({{"上课.mp3", "bell A"}, {"下课.mp3", "bell B"}});
        QCOMPARE(building.applyProblem, std::string());
        std::filesystem::remove(building.file("上课.mp3"));
        test::writeFile(building.file("下课.mp3"), "garbage");
        CentralRig central(broker);
        QTRY_VERIFY(central.link.isConnected());
        central.publishSound("bell A");
        central.publishSnapshot(building.snapshot);

        NodeRig node(broker, building, 800);
        QSignalSpy problemsChanged(&node.snapshots, &NodeSnapshots::repairProblemsChanged);
        QTRY_COMPARE(node.repaired.count(), 1);
        QCOMPARE(node.repaired.at(0).at(0).toString(), QStringLiteral("上课.mp3 (缺失)"));
        QCOMPARE(test::readFile(building.file("上课.mp3")), std::string("bell A"));
        QVERIFY(node.snapshots.repairProblems().empty());

        QTRY_COMPARE_WITH_TIMEOUT(node.snapshots.repairProblems().size(), std::size_t(1), 3000);
        QCOMPARE(problemsChanged.count(), 1);
        QVERIFY(node.snapshots.repairProblems()[0].find("下课.mp3 已损坏, 校园服务器没有它的内容") !=
                std::string::npos);

        central.publishSound("bell B");
        QTRY_COMPARE(node.repaired.count(), 2);
        QCOMPARE(node.repaired.at(1).at(0).toString(), QStringLiteral("下课.mp3 (已损坏)"));
        QCOMPARE(test::readFile(building.file("下课.mp3")), std::string("bell B"));
        QVERIFY(node.snapshots.repairProblems().empty());
        QCOMPARE(problemsChanged.count(), 2);
        QCOMPARE(node.applied.count(), 0);
        QCOMPARE(storedRevision(building.folder.folder()), std::optional<std::uint64_t>(2));
    }

    // Hashing 50 sounds of 1 MB, read from the disk, goes on beside the window thread: handing the
    // snapshot over takes no time there, and its timer keeps its pace while the check runs.
    void theWindowThreadNeverWaitsForTheCheck() {
        std::vector<std::pair<std::string, std::string>> sounds;
        for (int i = 0; i < 50; ++i)
            sounds.push_back({"铃声/" + std::to_string(i) + ".mp3",
                              std::string(1 << 20, char('a' + i % 26)) + std::to_string(i)});
        test::LoopbackBroker broker;
        QVERIFY(broker.start());
        Building building(sounds);
        QCOMPARE(building.applyProblem, std::string());
        std::filesystem::remove(building.file(sounds.back().first));
        for (const auto& [name, bytes] : sounds)
            test::dropCachedPages(building.file(name));
        MqttLink link(broker.linkSettings("b1"));
        constexpr int kRepairWaitMs = 500;
        NodeSnapshots snapshots(building.folder.folder(), link, kTopics, kRepairWaitMs);
        QSignalSpy problems(&snapshots, &NodeSnapshots::repairProblemsChanged);
        QString problem;
        QVERIFY(link.start(problem));
        QTRY_VERIFY(link.isConnected());

        QElapsedTimer checking;
        qint64 longestGapMs = 0;
        qint64 lastTickMs = 0;
        QTimer ticks;
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            longestGapMs = std::max(longestGapMs, checking.elapsed() - lastTickMs);
            lastTickMs = checking.elapsed();
        });
        ticks.start(5);
        checking.start();
        snapshots.offerSnapshot(QByteArray::fromStdString(writeSnapshot(building.snapshot)));
        const qint64 handOverMs = checking.elapsed();
        // Checked, then told after the wait that the broker lacks the deleted sound.
        QTRY_VERIFY_WITH_TIMEOUT(problems.count() > 0, 20000);
        const qint64 checkMs = checking.elapsed() - kRepairWaitMs;
        qInfo(
            "50 sounds of 1 MB from the disk checked in about %lld ms beside the window thread; handing the "
            "snapshot over took %lld ms there, its longest pause was %lld ms",
            checkMs, handOverMs, longestGapMs);
        QVERIFY2(handOverMs < 20, qPrintable(QString::number(handOverMs)));
        QVERIFY2(longestGapMs < std::max<qint64>(checkMs / 2, 20), qPrintable(QString::number(longestGapMs)));
        QCOMPARE(snapshots.repairProblems().size(), std::size_t(1));
    }
};

QTEST_GUILESS_MAIN(NodeSnapshotsTest)
#include "NodeSnapshotsTest.moc"
