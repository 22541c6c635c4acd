#include "campus/service/MqttLink.h"
#include "LoopbackBroker.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using namespace halvix;
using namespace halvix::campus;

namespace {

LinkSettings settingsFor(int port, const std::string& clientId) {
    LinkSettings settings;
    settings.broker = {false, "127.0.0.1", port};
    settings.clientId = clientId;
    settings.keepAliveSeconds = 5;
    return settings;
}

// The payloads that arrived on `spy` (messageArrived), in order.
QStringList payloads(const QSignalSpy& spy) {
    QStringList texts;
    for (const auto& arguments : spy)
        texts << QString::fromUtf8(arguments.at(1).toByteArray());
    return texts;
}

} // namespace

class MqttLinkTest : public QObject {
    Q_OBJECT
private slots:
    // A node that was away gets the QoS 1 messages sent meanwhile (its session outlived the
    // connection), but not those whose expiry passed; a clean stop leaves the will when asked.
    void awayNodeGetsWhatWasSentMeanwhile() {
        test::LoopbackBroker broker;
        QVERIFY(broker.start());
        QString problem;
        MqttLink central(settingsFor(broker.port(), "central"));
        QVERIFY(central.start(problem));
        QSignalSpy wills(&central, &MqttLink::messageArrived);
        central.subscribe("status/#");
        QTRY_VERIFY(central.isConnected());

        LinkSettings nodeSettings = settingsFor(broker.port(), "b1");
        nodeSettings.will = OutMessage{"status/b1", "offline", 1, true, 0};
        {
            MqttLink node(nodeSettings);
            QVERIFY(node.start(problem));
            node.subscribe("cmd/b1");
            QTRY_VERIFY(node.isConnected());
            QTest::qWait(200); // the subscription reaches the broker
        }
        QTRY_COMPARE(payloads(wills), QStringList{"offline"});

        QVERIFY(central.publish({"cmd/b1", "kept", 1, false, 60}));
        QVERIFY(central.publish({"cmd/b1", "expired", 1, false, 1}));
        QVERIFY(central.publish({"cmd/b1", "unreliable", 0, false, 0}));
        QTest::qWait(2200);

        MqttLink node(nodeSettings);
        QSignalSpy arrived(&node, &MqttLink::messageArrived);
        QVERIFY(node.start(problem));
        QTRY_VERIFY(node.isConnected());
        QTRY_COMPARE(payloads(arrived), QStringList{"kept"});
        QTest::qWait(300);
        QCOMPARE(payloads(arrived), QStringList{"kept"});
    }

    // Started while the broker is down, the link keeps trying; what was published meanwhile is
    // sent once it connects, except what expired while it waited.
    void connectsWhenTheBrokerComesAndSendsWhatWaited() {
        test::LoopbackBroker broker;
        QString problem;
        MqttLink sender(settingsFor(broker.port(), "sender"));
        QSignalSpy changes(&sender, &MqttLink::connectedChanged);
        QVERIFY(sender.start(problem));
        QVERIFY(sender.publish({"log/a", "row 1", 1, false, 0}));
        QVERIFY(sender.publish({"cmd/a", "late ring", 1, false, 1}));
        QVERIFY(sender.publish({"status/a", "old", 1, true, 0}));
        QVERIFY(sender.publish({"status/a", "new", 1, true, 0}));
        QVERIFY(!sender.publish({"ping/a", "lost", 0, false, 0}));
        QTRY_VERIFY(!sender.lastProblem().isEmpty());
        QVERIFY(sender.lastProblem().contains(QStringLiteral("无法连接代理服务器")));
        QTest::qWait(1200);

        QVERIFY(broker.start());
        MqttLink reader(settingsFor(broker.port(), "reader"));
        QSignalSpy arrived(&reader, &MqttLink::messageArrived);
        reader.subscribe("status/#");
        reader.subscribe("log/#");
        reader.subscribe("cmd/#");
        QVERIFY(reader.start(problem));
        QTRY_VERIFY(reader.isConnected());
        QTRY_VERIFY_WITH_TIMEOUT(sender.isConnected(), 10000);
        QTRY_COMPARE(payloads(arrived), (QStringList{"row 1", "new"}));
        QCOMPARE(changes.count(), 1);
        QVERIFY(sender.lastProblem().isEmpty());

        // The broker goes and comes back: the link notices and reconnects by itself.
        broker.stop();
        QTRY_COMPARE_WITH_TIMEOUT(changes.count(), 2, 10000);
        QVERIFY(broker.start());
        QTRY_COMPARE_WITH_TIMEOUT(changes.count(), 3, 15000);
        QVERIFY(sender.isConnected());
    }

    // Whatever the broker does (its packets dropped, or a connection taken and never answered, in
    // plain MQTT or TLS), and at whatever moment of the attempt, a stop returns within a second.
    void stopNeverWaitsForABrokerThatDoesNotAnswer() {
        using Kind = test::DeafBroker::Kind;
        test::TempFolder folder;
        const std::string ca = (folder / "ca.crt").string();
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                       "-subj", "/CN=test", "-days", "1", "-keyout",
                       QString::fromStdString((folder / "ca.key").string()), "-out",
                       QString::fromStdString(ca)});
        QVERIFY(openssl.waitForFinished(10000) && openssl.exitCode() == 0);
        struct Case {
            const char* what;
            Kind kind;
            bool tls;
        };
        for (const Case& c :
             {Case{"packets dropped", Kind::BlackHole, false}, Case{"never answers", Kind::Mute, false},
              Case{"packets dropped, TLS", Kind::BlackHole, true},
              Case{"never answers TLS", Kind::Mute, true}}) {
            for (const int startedMs : {0, 300, 1500}) {
                test::DeafBroker broker(c.kind);
                LinkSettings settings = settingsFor(broker.port(), "b1");
                settings.broker.tls = c.tls;
                settings.caFile = c.tls ? ca : std::string();
                settings.will = OutMessage{"status/b1", "offline", 1, true, 0};
                MqttLink link(settings);
                QString problem;
                QVERIFY2(link.start(problem), qPrintable(problem));
                QTest::qWait(startedMs);
                QElapsedTimer stopping;
                stopping.start();
                link.stop();
                const qint64 tookMs = stopping.elapsed();
                QVERIFY2(tookMs < 1000,
                         qPrintable(QStringLiteral("%1, stopped %2 ms after the start: the stop took %3 ms")
                                        .arg(QString::fromUtf8(c.what))
                                        .arg(startedMs)
                                        .arg(tookMs)));
                QVERIFY(!link.isConnected());
            }
        }
    }

    void refusesMissingFiles() {
        LinkSettings settings = settingsFor(1883, "b1");
        settings.broker.tls = true;
        settings.caFile = "/nonexistent/ca.crt";
        MqttLink link(settings);
        QString problem;
        QVERIFY(!link.start(problem));
        QVERIFY(problem.contains(QStringLiteral("找不到CA 证书文件")));
    }
};

QTEST_GUILESS_MAIN(MqttLinkTest)
#include "MqttLinkTest.moc"
