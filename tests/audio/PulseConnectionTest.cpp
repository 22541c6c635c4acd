// The program's own client of the sound server: where it looks for the server, how a server of the
// same user admits it with no cookie to show, that what it writes is played in real time, and that
// each way of failing is told in Chinese.
#include "audio/PulseConnection.h"

#include "support/PrivateSoundServer.h"
#include "support/SoundRecorder.h"
#include "support/TempFolder.h"

#include <QElapsedTimer>
#include <QtTest>

#include <cmath>

using namespace halvix;
using test::PrivateSoundServer;
using test::SoundRecorder;

namespace {

constexpr std::uint32_t kRate = 44100;

std::string toneBytes(double seconds) {
    std::string sound;
    const int frames = int(seconds * kRate);
    for (int i = 0; i < frames; ++i) {
        const auto sample = std::int16_t(8000 * std::sin(2 * M_PI * 440 * i / kRate));
        for (int channel = 0; channel < 2; ++channel) {
            sound.push_back(char(sample & 0xFF));
            sound.push_back(char((sample >> 8) & 0xFF));
        }
    }
    return sound;
}

} // namespace

class PulseConnectionTest : public QObject {
    Q_OBJECT

private slots:
    void socketsTried_data() {
        QTest::addColumn<QString>("pulseServer");
        QTest::addColumn<QString>("runtimeDir");
        QTest::addColumn<QStringList>("sockets");
        const QStringList session{"/run/user/1000/pulse/native", "/var/run/pulse/native"};
        QTest::newRow("unix address") << "unix:/tmp/a/native" << "/r" << QStringList{"/tmp/a/native"};
        QTest::newRow("a list, machine prefix, a TCP server passed over")
            << "{4f1c}unix:/tmp/a tcp:school:4713  /tmp/b" << "" << QStringList{"/tmp/a", "/tmp/b"};
        QTest::newRow("only TCP: nothing to try") << "tcp:school" << "/r" << QStringList{};
        QTest::newRow("the session's, then the user's and the system's")
            << "" << "/r" << (QStringList{"/r/pulse/native"} + session);
        QTest::newRow("no runtime folder") << "" << "" << session;
        QTest::newRow("runtime folder is the user's") << "" << "/run/user/1000" << session;
    }
    void socketsTried() {
        QFETCH(QString, pulseServer);
        QFETCH(QString, runtimeDir);
        QFETCH(QStringList, sockets);
        QStringList tried;
        for (const std::string& socket :
             pulse::serverSockets(pulseServer.toUtf8().constData(), runtimeDir.toUtf8().constData(), 1000))
            tried << QString::fromStdString(socket);
        QCOMPARE(tried, sockets);
    }

    void initTestCase() {
        if (QStandardPaths::findExecutable("pulseaudio").isEmpty())
            QSKIP("no PulseAudio server to start");
        // Neither anonymous clients nor cookies: the credentials the kernel vouches for, alone.
        m_server = std::make_unique<PrivateSoundServer>(m_folder.path(), "connection_null",
                                                        "auth-anonymous=0 auth-cookie-enabled=0");
        QVERIFY(m_server->start());
        qputenv("PULSE_SERVER", m_server->address().toUtf8());
        qputenv("PULSE_COOKIE", QByteArray::fromStdString((m_folder / "no-cookie").string()));
    }

    void soundIsPlayedInRealTimeToTheEnd() {
        SoundRecorder recorder(m_server->output(), m_server->address());
        QVERIFY(recorder.waitUntilRecording());
        PulseConnection connection;
        std::string error;
        QVERIFY2(connection.open(kRate, 2, 35280, error), error.c_str());
        QElapsedTimer clock;
        clock.start();
        QVERIFY2(connection.write(toneBytes(1.0), error), error.c_str());
        QVERIFY2(connection.drain(error), error.c_str());
        // Drained means heard: the server took the second of sound at its own pace.
        QVERIFY2(clock.elapsed() >= 900, qPrintable(QString("drained after %1 ms").arg(clock.elapsed())));
        QTRY_VERIFY_WITH_TIMEOUT(recorder.loudest() > 1000, 5000);
        // A flush drops what is held, and the stream takes sound again afterwards.
        QVERIFY2(connection.write(toneBytes(0.2), error) && connection.flush(error), error.c_str());
        QVERIFY2(connection.write(toneBytes(0.1), error) && connection.drain(error), error.c_str());
    }

    void failuresAreToldInChinese_data() {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("no server") << QByteArray("PULSE_SERVER") << QByteArray("unix:/nonexistent/native")
                                   << "无法连接声音服务: 找不到运行中的声音服务 (/nonexistent/native)";
        QTest::newRow("an output that is not there") << QByteArray("PULSE_SINK") << QByteArray("broadcast_2")
                                                     << "无法连接声音服务: 没有名为 broadcast_2 的声音输出";
        QTest::newRow("an output name the server cannot have") << QByteArray("PULSE_SINK") << QByteArray("广播_2")
                                                     << "无法连接声音服务: 没有名为 广播_2 的声音输出";
    }
    void failuresAreToldInChinese() {
        QFETCH(QByteArray, variable);
        QFETCH(QByteArray, value);
        QFETCH(QString, message);
        const QByteArray before = qgetenv(variable.constData());
        qputenv(variable.constData(), value);
        PulseConnection connection;
        std::string error;
        const bool opened = connection.open(kRate, 2, 35280, error);
        qputenv(variable.constData(), before);
        QVERIFY(!opened && !connection.isOpen());
        QCOMPARE(QString::fromStdString(error), message);
    }

    void aServerThatGoesIsNoticedByTheWrite() {
        PulseConnection connection;
        std::string error;
        QVERIFY2(connection.open(kRate, 2, 35280, error), error.c_str());
        m_server->kill();
        QVERIFY(!connection.write(toneBytes(1.0), error));
        QVERIFY2(error.rfind("声音服务中断: ", 0) == 0, error.c_str());
        QVERIFY(!connection.isOpen());
    }

private:
    test::TempFolder m_folder;
    std::unique_ptr<PrivateSoundServer> m_server;
};

QTEST_GUILESS_MAIN(PulseConnectionTest)
#include "PulseConnectionTest.moc"
