// The player of bells decoded ahead, straight to the sound server: what both programs ring on.
#include "audio/PulsePlayer.h"

#include "support/PlayerChecks.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>

using namespace halvix;
using namespace halvix::test;

class BellPlayerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { startPlayerTest(m_tones); }

    void playsEachFormatAudiblyAndReportsItsLength_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<bool>("prepared");
        for (const char* extension : kToneFormats) {
            QTest::addRow("%s prepared", extension) << extension << true;
            QTest::addRow("%s not prepared", extension) << extension << false;
        }
    }

    void playsEachFormatAudiblyAndReportsItsLength() {
        QFETCH(QString, extension);
        QFETCH(bool, prepared);
        const std::string path = tone(extension.toStdString());
        SoundRecorder recorder;
        QVERIFY2(recorder.waitUntilRecording(), "the sound server's monitor records nothing");
        const std::unique_ptr<DecodingPlayer> owned = makePlayer();
        DecodingPlayer& player = *owned;
        QSignalSpy lengths(&player, &DecodingPlayer::lengthKnown);
        QSignalSpy failures(&player, &DecodingPlayer::failed);
        if (prepared) {
            player.prepare(path);
            QTRY_VERIFY(player.decodedBytes() > 0);
        }
        qsizetype before = 0;
        expectPlaysWithItsLength(player, lengths, recorder, path, before);
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

    void closeStopsTheSound() { expectCloseStopsTheSound<PulseBellPlayer>(m_tones); }

    // What a new player is asked to prepare waits for the window's first paint; a sound played
    // meanwhile is decoded and heard at once, and the prepared one is ready soon after.
    void preparingWaitsForTheStartToBeOver() {
        SoundRecorder recorder;
        QVERIFY(recorder.waitUntilRecording());
        QElapsedTimer age;
        age.start();
        const std::unique_ptr<DecodingPlayer> owned = makePlayer();
        DecodingPlayer& player = *owned;
        player.prepare(tone("wav"));
        QTest::qWait(200);
        QVERIFY(age.elapsed() >= DecodingPlayer::kStartQuietMs || player.decodedBytes() == 0);
        player.playPath(tone("mp3"));
        QTRY_VERIFY_WITH_TIMEOUT(recorder.loudest() > 1000, 2000);
        player.close();
        QTRY_VERIFY_WITH_TIMEOUT(player.decodedBytes() > 0 && age.elapsed() >= DecodingPlayer::kStartQuietMs, 3000);
        const qsizetype before = recorder.sampleCount();
        player.playPath(tone("wav"));
        QTRY_VERIFY_WITH_TIMEOUT(recorder.rms(before, recorder.sampleCount()) > 100, 2000);
    }

    // A second playPath ends the first sound; each reports its own length once.
    void secondPlayReplacesTheFirst() {
        const std::unique_ptr<DecodingPlayer> owned = makePlayer();
        DecodingPlayer& player = *owned;
        QSignalSpy lengths(&player, &DecodingPlayer::lengthKnown);
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
        const std::string path = (m_tones.folder / "换.wav").string();
        QVERIFY(makeTone(path, 0.5));
        const std::unique_ptr<DecodingPlayer> owned = makePlayer();
        DecodingPlayer& player = *owned;
        QSignalSpy lengths(&player, &DecodingPlayer::lengthKnown);
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
        const std::string path = (m_tones.folder / "长曲.mp3").string();
        QVERIFY(makeTone(path, 60.0, 2)); // about 10 MB decoded
        SoundRecorder recorder;
        QVERIFY(recorder.waitUntilRecording());
        const std::unique_ptr<DecodingPlayer> owned = makePlayer();
        DecodingPlayer& player = *owned;
        QSignalSpy lengths(&player, &DecodingPlayer::lengthKnown);
        QSignalSpy failures(&player, &DecodingPlayer::failed);
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
        for (bool prepared : {false, true})
            for (const auto& file : unplayableFiles(m_tones))
                QTest::addRow("%s, %s", file.label, prepared ? "prepared" : "not prepared")
                    << file.name << file.bytes << prepared;
    }

    void unplayableFilesReportFailure() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, prepared);
        const std::string path = unplayablePath(m_tones, name, bytes);

        const std::unique_ptr<DecodingPlayer> owned = makePlayer();
        DecodingPlayer& player = *owned;
        if (prepared) {
            QSignalSpy failures(&player, &DecodingPlayer::failed);
            player.prepare(path);
            QTest::qWait(500);
            QCOMPARE(failures.count(), 0); // preparing reports nothing
        }
        expectFailureThenPlays(player, path, m_tones);
    }

private:
    std::string tone(const std::string& extension) const { return m_tones.tone(extension); }
    static std::unique_ptr<DecodingPlayer> makePlayer() { return std::make_unique<PulseBellPlayer>(); }

    ToneFolder m_tones;
};

QTEST_GUILESS_MAIN(BellPlayerTest)
#include "BellPlayerTest.moc"
