#include "campus/service/CampusCentral.h"
#include "LoopbackBroker.h"
#include "campus/service/MqttLink.h"
#include "campus/Sha256.h"
#include "campus/SnapshotApplier.h"
#include "support/ScheduleFixture.h"

#include <nlohmann/json.hpp>

#include <QSignalSpy>
#include <QTest>

using namespace halvix;
using namespace halvix::campus;

namespace {

std::string_view bytesOf(const QByteArray& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

// A central on `folder`, connected to `broker`, checking every 300 ms.
struct CentralRig {
    CentralRig(const test::LoopbackBroker& broker, const std::filesystem::path& folder)
        : link(broker.linkSettings("office")), central(folder, configFor(broker), link, {300, 300, 5000}),
          published(&central, &CampusCentral::published) {
        QString problem;
        link.start(problem);
        central.start();
    }
    static CampusConfig configFor(const test::LoopbackBroker& broker) {
        CampusConfig config;
        config.role = CampusRole::Central;
        config.campus = "test";
        config.nodeId = "office";
        config.broker = {false, "127.0.0.1", broker.port()};
        return config;
    }
    MqttLink link;
    CampusCentral central;
    QSignalSpy published;
};

// A listener standing in for the nodes: it sees what the central publishes.
struct Listener {
    explicit Listener(const test::LoopbackBroker& broker)
        : link(broker.linkSettings("listener")), spy(&link, &MqttLink::messageArrived) {
        QString problem;
        link.start(problem);
        for (const char* filter :
             {"halvix/test/snapshot", "halvix/test/sound/+", "halvix/test/pong/+", "halvix/test/cmd/#"})
            link.subscribe(filter);
    }
    // What arrived on `topic`, in order.
    QList<QByteArray> on(const QString& topic) const {
        QList<QByteArray> found;
        for (const auto& arguments : spy)
            if (arguments.at(0).toString() == topic)
                found << arguments.at(1).toByteArray();
        return found;
    }
    MqttLink link;
    QSignalSpy spy;
};

} // namespace

class CampusCentralTest : public QObject {
    Q_OBJECT
private slots:
    // The shared plan goes out once per change: at start with its sound first, not again while
    // nothing changes, once more after a save; a restarted central that finds its plan on the
    // broker publishes nothing.
    void publishesEachChangeOnce() {
        test::LoopbackBroker broker;
        QVERIFY(broker.start());
        test::ScheduleFixture folder;
        folder.insertPlan("cjtime", {{"1", "", "08:00:00", "上课", "上课.mp3", "待完", ""}});
        folder.writeWeekFile("1125");
        folder.temp().write("voic/上课.mp3", "bell-bytes");
        Listener listener(broker);
        QTRY_VERIFY(listener.link.isConnected());
        QTest::qWait(200);
        const QString soundTopic = QString::fromStdString("halvix/test/sound/" + sha256Hex("bell-bytes"));
        {
            CentralRig rig(broker, folder.folder());
            QTRY_COMPARE(rig.published.size(), 1);
            QCOMPARE(rig.published.at(0).at(0).toULongLong(), 1ull);
            QCOMPARE(storedRevision(folder.folder()), std::optional<std::uint64_t>(1));
            QTRY_COMPARE(listener.on(soundTopic), QList<QByteArray>{"bell-bytes"});
            QTRY_COMPARE(listener.on("halvix/test/snapshot").size(), 1);

            QTest::qWait(1200); // several periodic checks of an unchanged folder
            QCOMPARE(listener.on("halvix/test/snapshot").size(), 1);
            QCOMPARE(rig.published.size(), 1);

            folder.insertPlan("cjtime", {{"2", "", "08:45:00", "下课", "上课.mp3", "待完", ""}});
            rig.central.checkNow();
            QTRY_COMPARE(rig.published.size(), 2);
            const auto snapshots = listener.on("halvix/test/snapshot");
            QCOMPARE(snapshots.size(), 2);
            QCOMPARE(readSnapshot(bytesOf(snapshots.last())).snapshot.revision, 2ull);
            // The sound the broker has is not sent again.
            QCOMPARE(listener.on(soundTopic).size(), 1);

            std::optional<PushOutcome> pushed;
            rig.central.push([&pushed](const PushOutcome& outcome) { pushed = outcome; });
            QTRY_VERIFY(pushed);
            QVERIFY(pushed->kind == PushOutcome::Kind::Unchanged);
            QCOMPARE(pushed->revision, 2ull);
        }

        CentralRig restarted(broker, folder.folder());
        QTRY_COMPARE(restarted.central.revision(), 2ull);
        QTest::qWait(1000);
        QCOMPARE(restarted.published.size(), 0);
        QCOMPARE(listener.on("halvix/test/snapshot").size(), 2);
    }

    // A node's ping is answered on its own topic with the central's times; a command goes to the
    // node's topic as nodes read it.
    void answersPingsAndSendsCommands() {
        test::LoopbackBroker broker;
        QVERIFY(broker.start());
        test::ScheduleFixture folder;
        folder.writeWeekFile("1125");
        Listener listener(broker);
        CentralRig rig(broker, folder.folder());
        QTRY_VERIFY(rig.link.isConnected() && listener.link.isConnected());
        QTest::qWait(300);

        listener.link.publish({"halvix/test/ping/b1", R"({"format":1,"node":"b1","t0":1000})", 0, false, 0});
        listener.link.publish(
            {"halvix/test/ping/b2", R"({"format":1,"node":"b1","t0":2000})", 0, false, 0}); // not b2's
        QTRY_COMPARE(listener.on("halvix/test/pong/b1").size(), 1);
        const auto pong = nlohmann::json::parse(listener.on("halvix/test/pong/b1").first().toStdString());
        QCOMPARE(pong.at("t0").get<std::int64_t>(), std::int64_t{1000});
        QVERIFY(pong.at("t1").get<std::int64_t>() > 1000 &&
                pong.at("t2").get<std::int64_t>() >= pong.at("t1").get<std::int64_t>());
        QTest::qWait(300);
        QVERIFY(listener.on("halvix/test/pong/b2").isEmpty());

        QString problem;
        const auto sent = rig.central.send(
            {CommandKind::Play, {CommandTarget::Scope::Node, "b1"}, "上课.mp3", {}}, problem);
        QVERIFY2(sent, qPrintable(problem));
        QTRY_COMPARE(listener.on("halvix/test/cmd/node/b1").size(), 1);
        const CommandRead read = readCommand(bytesOf(listener.on("halvix/test/cmd/node/b1").first()));
        QVERIFY2(read.ok(), read.problem.c_str());
        QCOMPARE(read.command, *sent);
        QCOMPARE(read.command.expirySeconds, 10u);
    }
};

QTEST_GUILESS_MAIN(CampusCentralTest)
#include "CampusCentralTest.moc"
