#include "audio/StreamPlayer.h"

#include "support/PlayerChecks.h"

#include <QSignalSpy>
#include <QtTest>

using namespace halvix;
using namespace halvix::test;

class StreamPlayerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { startPlayerTest(m_tones); }
    void closeStopsTheSound() { expectCloseStopsTheSound<StreamPlayer>(m_tones); }

    void playsEachFormatAudiblyAndReportsItsLength_data() {
        QTest::addColumn<QString>("extension");
        for (const char* extension : kToneFormats)
            QTest::newRow(extension) << QString(extension);
    }

    void playsEachFormatAudiblyAndReportsItsLength() {
        QFETCH(QString, extension);
        const std::string path = m_tones.tone(extension.toStdString());
        SoundRecorder recorder;
        QVERIFY2(recorder.waitUntilRecording(), "the sound server's monitor records nothing");
        StreamPlayer player;
        QSignalSpy lengths(&player, &StreamPlayer::lengthKnown);
        QSignalSpy failures(&player, &StreamPlayer::failed);
        qsizetype before = 0;
        expectPlaysWithItsLength(player, lengths, recorder, path, before);
        const double heard = recorder.rms(before, recorder.sampleCount());
        QVERIFY2(heard > kAudibleRms / 2, qPrintable(QString("RMS %1").arg(heard)));
        QCOMPARE(failures.count(), 0);
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

        StreamPlayer player;
        expectFailureThenPlays(player, path, m_tones);
    }

private:
    ToneFolder m_tones;
};

QTEST_MAIN(StreamPlayerTest)
#include "StreamPlayerTest.moc"
