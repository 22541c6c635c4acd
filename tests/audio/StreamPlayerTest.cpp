#include "audio/StreamPlayer.h"

#include "support/SoundRecorder.h"
#include "support/TempFolder.h"
#include "support/Tones.h"

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
        // A Chinese name in a Chinese folder: paths reach the player as UTF-8.
        m_tones = m_folder / "铃声";
        std::filesystem::create_directories(m_tones);
        for (const char* extension : {"wav", "mp3", "wma"})
            QVERIFY2(makeTone(tone(extension), kToneSeconds), extension);
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

    void closeStopsTheSound() {
        SoundRecorder recorder;
        QVERIFY(recorder.waitUntilRecording());
        StreamPlayer player;
        player.playPath(tone("wav"));
        const qsizetype start = recorder.sampleCount();
        // Sound first, then silence soon after close.
        QTRY_VERIFY(recorder.sampleCount() > start + kRate / 10 &&
                    recorder.rms(recorder.sampleCount() - kRate / 20, recorder.sampleCount()) > kAudibleRms);
        player.close();
        QCOMPARE(player.lengthMs(), 0);
        QVERIFY(!player.isPlaying());
        QTest::qWait(400);
        const qsizetype closed = recorder.sampleCount();
        QTest::qWait(300);
        QCOMPARE(recorder.rms(closed, recorder.sampleCount()), 0.0);
    }

    void unplayableFilesReportFailure_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // empty name: the file is not created
        QTest::newRow("missing") << "不存在.mp3" << QByteArray();
        QTest::newRow("empty") << "空.wav" << QByteArray("");
        QTest::newRow("not audio") << "说明.mp3" << QByteArray("这不是声音文件\n").repeated(200);
        QTest::newRow("only a header")
            << "截断.wav" << QByteArray::fromStdString(test::readFile(tone("wav")).substr(0, 44));
    }

    void unplayableFilesReportFailure() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        std::string path = (m_folder / name.toStdString()).string();
        if (name != "不存在.mp3")
            path = m_folder.write(name.toStdString(), bytes.toStdString()).string();

        StreamPlayer player;
        QSignalSpy failures(&player, &StreamPlayer::failed);
        QSignalSpy lengths(&player, &StreamPlayer::lengthKnown);
        player.playPath(path);
        QTRY_COMPARE(failures.count(), 1);
        QVERIFY(failures.first().first().toString().contains(QString::fromStdString(path)));
        QTest::qWait(300);
        QCOMPARE(failures.count(), 1);
        QCOMPARE(lengths.count(), 0);
        QCOMPARE(player.lengthMs(), 0);

        // The player stays usable after a failure.
        player.playPath(tone("wav"));
        QTRY_COMPARE(lengths.count(), 1);
        QCOMPARE(failures.count(), 1);
    }

private:
    std::string tone(const std::string& extension) const {
        return (m_tones / ("上课." + extension)).string();
    }

    test::TempFolder m_folder;
    std::filesystem::path m_tones;
};

QTEST_MAIN(StreamPlayerTest)
#include "StreamPlayerTest.moc"
