// The player of files of any length: the decoding tool's stream to the sound server.
#include "audio/PulsePlayer.h"

#include "support/PlayerChecks.h"

#include <QSignalSpy>
#include <QtTest>

using namespace halvix;
using namespace halvix::test;

namespace {

template <typename Player> void playsAudiblyWithItsLength(const std::string& path) {
    SoundRecorder recorder;
    QVERIFY2(recorder.waitUntilRecording(), "the sound server's monitor records nothing");
    Player player;
    QSignalSpy lengths(&player, &Player::lengthKnown);
    QSignalSpy failures(&player, &Player::failed);
    qsizetype before = 0;
    expectPlaysWithItsLength(player, lengths, recorder, path, before);
    const double heard = recorder.rms(before, recorder.sampleCount());
    QVERIFY2(heard > kAudibleRms / 2, qPrintable(QString("RMS %1").arg(heard)));
    QCOMPARE(failures.count(), 0);
}

} // namespace

class StreamingPlayersTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { startPlayerTest(m_tones); }

    void closeStopsTheSound() { expectCloseStopsTheSound<PulseStreamPlayer>(m_tones); }

    void playsEachFormatAudiblyAndReportsItsLength_data() {
        QTest::addColumn<QString>("extension");
        for (const char* extension : kToneFormats)
            QTest::newRow(extension) << QString(extension);
    }

    void playsEachFormatAudiblyAndReportsItsLength() {
        QFETCH(QString, extension);
        const std::string path = m_tones.tone(extension.toStdString());
        playsAudiblyWithItsLength<PulseStreamPlayer>(path);
    }

    // A track over the bound of a decoded bell (about 47 s) plays from its start and reports its
    // length, and close ends it.
    void aLongTrackStreams() {
        const std::string path = (m_tones.folder / "长曲目.mp3").string();
        QVERIFY(makeTone(path, 60));
        SoundRecorder recorder;
        QVERIFY(recorder.waitUntilRecording());
        PulseStreamPlayer player;
        QSignalSpy lengths(&player, &PulseStreamPlayer::lengthKnown);
        const qsizetype before = recorder.sampleCount();
        player.playPath(path);
        QTRY_COMPARE(lengths.count(), 1);
        QVERIFY2(std::abs(player.lengthMs() - 60000) <= 100, qPrintable(QString::number(player.lengthMs())));
        QTRY_VERIFY(recorder.sampleCount() > before + kRate * 3 / 2);
        QVERIFY(recorder.rms(before + kRate / 2, recorder.sampleCount()) > kAudibleRms / 2);
        QVERIFY(player.isPlaying());
        player.close();
        QVERIFY(!player.isPlaying());
    }

    void unplayableFilesReportFailure_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // empty name: the file is not created
        for (const auto& file : unplayableFiles(m_tones))
            QTest::newRow(file.label) << file.name << file.bytes;
    }

    void unplayableFilesReportFailure() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        const std::string path = unplayablePath(m_tones, name, bytes);
        PulseStreamPlayer player;
        expectFailureThenPlays(player, path, m_tones);
    }

private:
    ToneFolder m_tones;
};

QTEST_GUILESS_MAIN(StreamingPlayersTest)
#include "StreamingPlayersTest.moc"
