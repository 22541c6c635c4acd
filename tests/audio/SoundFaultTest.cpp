// The sound server goes away under the player and comes back on the same socket (a crash and a
// restart, or a new login): the next sound must be heard again, without restarting the program.
#include "audio/PulsePlayer.h"

#include "support/PrivateSoundServer.h"
#include "support/SoundRecorder.h"
#include "support/TempFolder.h"

#include <QSignalSpy>
#include <QtTest>

using namespace halvix;
using test::kRate;
using test::PrivateSoundServer;
using test::run;
using test::SoundRecorder;

class SoundFaultTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable("pulseaudio").isEmpty())
            QSKIP("no PulseAudio server to start");
        m_server = std::make_unique<PrivateSoundServer>(m_folder.path(), "fault_null");
        QVERIFY(m_server->start());
        // Before any player exists: the sound server's client connects where this says.
        qputenv("PULSE_SERVER", m_server->address().toUtf8());
        m_tone = (m_folder / "铃声.wav").string();
        QVERIFY(run("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                               QString("sine=frequency=440:duration=1.5:sample_rate=%1").arg(kRate), "-ac",
                               "1", QString::fromStdString(m_tone)}));
    }

    void theNextSoundIsHeardAfterTheServerCameBack() {
        // The program's two channels: single files, and folder tracks, which played earlier and
        // now stand idle.
        PulseBellPlayer player;
        PulseStreamPlayer tracks;
        QSignalSpy lengths(&player, &PulseBellPlayer::lengthKnown);
        QSignalSpy trackLengths(&tracks, &PulseStreamPlayer::lengthKnown);
        {
            SoundRecorder recorder("fault_null", m_server->address());
            tracks.playPath(m_tone);
            QTRY_COMPARE(trackLengths.count(), 1);
            player.playPath(m_tone);
            QTRY_VERIFY_WITH_TIMEOUT(recorder.loudest() > 1000, 10000);
            QTest::qWait(2000); // both to their ends
        }

        m_server->kill();
        // With no server at all: no crash, and whatever happens is over in a moment.
        player.playPath(m_tone);
        QTest::qWait(2000);

        QVERIFY(m_server->start());
        SoundRecorder recorder("fault_null", m_server->address());
        QTest::qWait(500);
        player.playPath(m_tone);
        QTRY_VERIFY2_WITH_TIMEOUT(recorder.loudest() > 1000, "silent after the server came back", 10000);
        QVERIFY(lengths.count() >= 2);
        QTest::qWait(2000);
        SoundRecorder trackRecorder("fault_null", m_server->address());
        QTest::qWait(500);
        tracks.playPath(m_tone);
        QTRY_VERIFY2_WITH_TIMEOUT(trackRecorder.loudest() > 1000, "no track after the server came back",
                                  10000);
    }

private:
    test::TempFolder m_folder;
    std::unique_ptr<PrivateSoundServer> m_server;
    std::string m_tone;
};

QTEST_GUILESS_MAIN(SoundFaultTest)
#include "SoundFaultTest.moc"
