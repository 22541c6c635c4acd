#include "audio/StreamPlayer.h"

#include "support/PlayerChecks.h"

#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <cstring>

using namespace halvix;
using namespace halvix::test;

class StreamPlayerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!run("pactl", {"info"}))
            QSKIP("no sound server answers");
        const char* failed = m_tones.make();
        QVERIFY2(!failed, failed);
    }

    void playsEachFormatAudiblyAndReportsItsLength_data() {
        QTest::addColumn<QString>("extension");
        QTest::newRow("wav") << "wav";
        QTest::newRow("mp3") << "mp3";
        QTest::newRow("wma") << "wma";
    }

    void playsEachFormatAudiblyAndReportsItsLength() {
        QFETCH(QString, extension);
        const std::string path = tone(extension.toStdString());
        const double expectedMs = fileMs(path);
        QVERIFY(expectedMs > 0);

        SoundRecorder recorder;
        QVERIFY2(recorder.waitUntilRecording(), "the sound server's monitor records nothing");
        const qsizetype before = recorder.sampleCount();
        QCOMPARE(recorder.rms(before - kRate / 20, before), 0.0);

        StreamPlayer player;
        QSignalSpy lengths(&player, &StreamPlayer::lengthKnown);
        QSignalSpy failures(&player, &StreamPlayer::failed);
        QCOMPARE(player.lengthMs(), 0);
        player.playPath(path);

        QTRY_COMPARE(lengths.count(), 1);
        QVERIFY2(std::abs(double(player.lengthMs()) - expectedMs) <= 50.0,
                 qPrintable(QString("reported %1 ms, file %2 ms").arg(player.lengthMs()).arg(expectedMs)));
        QCOMPARE(lengths.first().first().toLongLong(), player.lengthMs());

        QTRY_VERIFY_WITH_TIMEOUT(
            recorder.sampleCount() >= before + qsizetype(kToneSeconds * kRate) + kRate / 2, 10000);
        const double heard = recorder.rms(before, recorder.sampleCount());
        QVERIFY2(heard > kAudibleRms / 2, qPrintable(QString("RMS %1").arg(heard)));
        QCOMPARE(failures.count(), 0);
    }

    void closeStopsTheSound() { expectCloseStopsTheSound<StreamPlayer>(m_tones); }

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

        StreamPlayer player;
        QSignalSpy failures(&player, &StreamPlayer::failed);
        QSignalSpy lengths(&player, &StreamPlayer::lengthKnown);
        expectFailureThenPlays(player, failures, lengths, path, m_tones);
    }

private:
    std::string tone(const std::string& extension) const { return m_tones.tone(extension); }

    ToneFolder m_tones;
};

QTEST_MAIN(StreamPlayerTest)
#include "StreamPlayerTest.moc"
