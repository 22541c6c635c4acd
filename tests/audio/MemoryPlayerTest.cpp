#include "audio/MemoryPlayer.h"

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

class MemoryPlayerTest : public QObject {
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
        QTest::addColumn<bool>("prepared");
        for (const char* extension : {"wav", "mp3", "wma"}) {
            QTest::addRow("%s prepared", extension) << extension << true;
            QTest::addRow("%s not prepared", extension) << extension << false;
        }
    }

    void playsEachFormatAudiblyAndReportsItsLength() {
        QFETCH(QString, extension);
        QFETCH(bool, prepared);
        const std::string path = tone(extension.toStdString());
        const double expectedMs = fileMs(path);
        QVERIFY(expectedMs > 0);

        SoundRecorder recorder;
        QVERIFY2(recorder.waitUntilRecording(), "the sound server's monitor records nothing");
        MemoryPlayer player;
        QSignalSpy lengths(&player, &MemoryPlayer::lengthKnown);
        QSignalSpy failures(&player, &MemoryPlayer::failed);
        if (prepared) {
            player.prepare(path);
            QTRY_VERIFY(player.decodedBytes() > 0);
        }
        const qsizetype before = recorder.sampleCount();
        QCOMPARE(recorder.rms(before - kRate / 20, before), 0.0);
        QCOMPARE(player.lengthMs(), 0);
        player.playPath(path);

        QTRY_COMPARE(lengths.count(), 1);
        QVERIFY2(std::abs(double(player.lengthMs()) - expectedMs) <= 50.0,
                 qPrintable(QString("reported %1 ms, file %2 ms").arg(player.lengthMs()).arg(expectedMs)));
        QCOMPARE(lengths.first().first().toLongLong(), player.lengthMs());

        QTRY_VERIFY_WITH_TIMEOUT(
            recorder.sampleCount() >= before + qsizetype(kToneSeconds * kRate) + kRate / 2, 10000);
        // The whole tone is heard, its end too. Measured against the tone that was encoded: the
        // file's length also counts the encoder's priming and padding, which are silent.
        const int heardMs = recorder.audibleMs(before, recorder.sampleCount());
        QVERIFY2(std::abs(heardMs - kToneSeconds * 1000.0) <= 60.0,
                 qPrintable(QString("heard %1 ms of a %2 ms tone").arg(heardMs).arg(kToneSeconds * 1000.0)));
        // The tone ends: nothing more sounds after its length.
        QTRY_VERIFY(!player.isPlaying());
        const qsizetype ended = recorder.sampleCount();
        QTest::qWait(300);
        QCOMPARE(recorder.rms(ended, recorder.sampleCount()), 0.0);
        QCOMPARE(failures.count(), 0);
        QCOMPARE(lengths.count(), 1);
    }

    void closeStopsTheSound() {
        SoundRecorder recorder;
        QVERIFY(recorder.waitUntilRecording());
        MemoryPlayer player;
        player.playPath(tone("wav"));
        const qsizetype start = recorder.sampleCount();
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

    // A second playPath ends the first sound; each reports its own length once.
    void secondPlayReplacesTheFirst() {
        MemoryPlayer player;
        QSignalSpy lengths(&player, &MemoryPlayer::lengthKnown);
        player.prepare(tone("wma"));
        player.playPath(tone("mp3"));
        player.playPath(tone("wma"));
        QTRY_COMPARE(lengths.count(), 1);
        QTest::qWait(500);
        QCOMPARE(lengths.count(), 1);
        QVERIFY(std::abs(double(player.lengthMs()) - fileMs(tone("wma"))) <= 50.0);
    }

    // A file replaced after it was prepared plays as it is now.
    void replacedFileIsDecodedAgain() {
        const std::string path = (m_folder / "换.wav").string();
        QVERIFY(makeTone(path, 0.5));
        MemoryPlayer player;
        QSignalSpy lengths(&player, &MemoryPlayer::lengthKnown);
        player.prepare(path);
        QTRY_VERIFY(player.decodedBytes() > 0);
        QTest::qWait(1100); // a later modification time, whatever the file system's resolution
        QVERIFY(makeTone(path, 2.0));
        player.playPath(path);
        QTRY_COMPARE(lengths.count(), 1);
        QVERIFY2(std::abs(double(player.lengthMs()) - 2000.0) <= 50.0,
                 qPrintable(QString::number(player.lengthMs())));
    }

    // A long file is never decoded whole: it is streamed, heard, and its length reported.
    void longFileIsStreamed() {
        const std::string path = (m_folder / "长曲.mp3").string();
        QVERIFY(makeTone(path, 60.0, 2)); // about 10 MB decoded
        SoundRecorder recorder;
        QVERIFY(recorder.waitUntilRecording());
        MemoryPlayer player;
        QSignalSpy lengths(&player, &MemoryPlayer::lengthKnown);
        QSignalSpy failures(&player, &MemoryPlayer::failed);
        player.prepare(path);
        QTest::qWait(3000);
        QVERIFY(player.decodedBytes() <= kMaxDecodedBytes);
        const qsizetype before = recorder.sampleCount();
        player.playPath(path);
        QTRY_COMPARE_WITH_TIMEOUT(lengths.count(), 1, 10000);
        QVERIFY2(std::abs(double(player.lengthMs()) - fileMs(path)) <= 50.0,
                 qPrintable(QString::number(player.lengthMs())));
        QTRY_VERIFY_WITH_TIMEOUT(recorder.sampleCount() >= before + 2 * kRate, 10000);
        QVERIFY(recorder.rms(before, recorder.sampleCount()) > kAudibleRms / 2);
        QVERIFY(player.isPlaying());
        player.close();
        QVERIFY(!player.isPlaying());
        QCOMPARE(failures.count(), 0);
    }

    void unplayableFilesReportFailure_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // the missing file is not created
        QTest::addColumn<bool>("prepared");
        const QByteArray header = QByteArray::fromStdString(test::readFile(tone("wav")).substr(0, 44));
        for (bool prepared : {false, true}) {
            const char* how = prepared ? "prepared" : "not prepared";
            QTest::addRow("missing, %s", how) << "不存在.mp3" << QByteArray() << prepared;
            QTest::addRow("empty, %s", how) << "空.wav" << QByteArray("") << prepared;
            QTest::addRow("not audio, %s", how)
                << "说明.mp3" << QByteArray("这不是声音文件\n").repeated(200) << prepared;
            QTest::addRow("only a header, %s", how) << "截断.wav" << header << prepared;
        }
    }

    void unplayableFilesReportFailure() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, prepared);
        std::string path = (m_folder / name.toStdString()).string();
        if (name != "不存在.mp3")
            path = m_folder.write(name.toStdString(), bytes.toStdString()).string();

        MemoryPlayer player;
        QSignalSpy failures(&player, &MemoryPlayer::failed);
        QSignalSpy lengths(&player, &MemoryPlayer::lengthKnown);
        if (prepared) {
            player.prepare(path);
            QTest::qWait(500);
            QCOMPARE(failures.count(), 0); // preparing reports nothing
        }
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

QTEST_MAIN(MemoryPlayerTest)
#include "MemoryPlayerTest.moc"
