// A mono bell is held as one channel and heard on both: folding and unfolding any sound gives back
// the very frames the decoding tool wrote, and a sound whose channels differ anywhere stays stereo.
// On the sound server a mono file sounds at the level it was made, as loud as its stereo copy.
#include "audio/DecodedSound.h"
#include "audio/PulsePlayer.h"

#include "support/PlayerChecks.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace halvix;
using namespace halvix::test;

namespace {

// The RMS that `recorder` hears in the `seconds` after `player` starts `path`; the window is long
// enough for the whole sound, so its RMS measures the sound's whole energy wherever it begins.
template <typename Player>
void recordLevel(Player& player, SoundRecorder& recorder, const std::string& path, double seconds,
                 double& rms) {
    const qsizetype before = recorder.sampleCount();
    player.playPath(path);
    const qsizetype window = qsizetype(seconds * kRate);
    QTRY_VERIFY_WITH_TIMEOUT(recorder.sampleCount() >= before + window, int(seconds * 1000) + 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!player.isPlaying(), 5000);
    rms = recorder.rms(before, before + window);
}

// A mono file and its stereo copy (the same samples on both channels, made by sox) played one
// after the other: both as loud as the file, within 0.3 dB of each other.
template <typename Player> void expectMonoAsLoudAsStereo(const std::string& mono, const std::string& stereo) {
    QVERIFY(run("sox", {QString::fromStdString(mono), QString::fromStdString(stereo), "remix", "1", "1"}));
    const FileLevel made = fileLevel(mono);
    QVERIFY2(made.rms > 0 && made.seconds > 0, mono.c_str());
    const double window = made.seconds + 1.5;
    // The file's energy spread over the window: the RMS heard when it plays at the level it was made.
    const double expected = made.rms * 32768.0 * std::sqrt(made.seconds / window);

    SoundRecorder recorder;
    QVERIFY2(recorder.waitUntilRecording(), "the sound server's monitor records nothing");
    Player player;
    double monoRms = 0, stereoRms = 0;
    recordLevel(player, recorder, mono, window, monoRms);
    if (QTest::currentTestFailed())
        return;
    recordLevel(player, recorder, stereo, window, stereoRms);
    if (QTest::currentTestFailed())
        return;
    const QString levels = QString("mono %1 dB, stereo copy %2 dB against the file")
                               .arg(decibels(monoRms, expected), 0, 'f', 2)
                               .arg(decibels(stereoRms, expected), 0, 'f', 2);
    qInfo("%s", qPrintable(levels));
    QVERIFY2(std::abs(decibels(monoRms, stereoRms)) <= 0.3, qPrintable(levels));
    QVERIFY2(std::abs(decibels(monoRms, expected)) <= 0.5, qPrintable(levels));
}

} // namespace

class MonoSoundTest : public QObject {
    Q_OBJECT

private slots:
    void foldedSoundUnfoldsToTheSameFrames() {
        QRandomGenerator random(20261209);
        for (int round = 0; round < 200; ++round) {
            const int frames = random.bounded(1, 3000);
            QByteArray stereo;
            for (int f = 0; f < frames; ++f) {
                const auto sample = static_cast<qint16>(random.bounded(-32768, 32768));
                for (int channel = 0; channel < 2; ++channel)
                    stereo.append(reinterpret_cast<const char*>(&sample), 2);
            }
            // Half the rounds: one sample of one channel differs, at the start, the end or between.
            const bool differs = round % 2 == 1;
            if (differs) {
                const int at = round % 3 == 0 ? 0 : round % 3 == 1 ? frames - 1 : random.bounded(frames);
                stereo[at * 4 + 2 + random.bounded(2)] ^= char(1 << random.bounded(8));
            }
            QByteArray held = stereo;
            QCOMPARE(foldIdenticalChannels(held), !differs);
            if (differs) {
                QCOMPARE(held, stereo);
                continue;
            }
            QCOMPARE(held.size(), stereo.size() / 2);
            // Unfolded in pieces of any even size, as the output takes them.
            QByteArray heard;
            for (qsizetype at = 0; at < held.size();) {
                const qsizetype piece = std::min<qsizetype>(held.size() - at, 2 * random.bounded(1, 600));
                appendAsStereo(heard, held.constData() + at, piece);
                at += piece;
            }
            QCOMPARE(heard, stereo);
        }
    }

    void monoSoundsAsLoudAsItsStereoCopy_data() {
        QTest::addColumn<bool>("streamed");
        QTest::addColumn<QString>("sound"); // empty: a generated tone
        for (bool streamed : {false, true}) {
            const char* player = streamed ? "streamed" : "from memory";
            QTest::addRow("tone, %s", player) << streamed << QString();
            QTest::addRow("上课.mp3, %s", player)
                << streamed << QStringLiteral(HALVIX_SOURCE_DIR "/res/voic/上课.mp3");
        }
    }

    void monoSoundsAsLoudAsItsStereoCopy() {
        QFETCH(bool, streamed);
        QFETCH(QString, sound);
        if (!run("pactl", {"info"}))
            QSKIP("no sound server answers");
        TempFolder folder;
        std::string mono = sound.toStdString();
        if (mono.empty()) {
            mono = (folder / "单声道.wav").string();
            QVERIFY(makeTone(mono, kToneSeconds));
        }
        const std::string stereo = (folder / "立体声.wav").string();
        if (streamed)
            expectMonoAsLoudAsStereo<PulseStreamPlayer>(mono, stereo);
        else
            expectMonoAsLoudAsStereo<PulseBellPlayer>(mono, stereo);
    }

    void nothingOrAPartFrameIsNotFolded() {
        for (QByteArray sound : {QByteArray(), QByteArray(6, '\0')}) {
            const QByteArray before = sound;
            QVERIFY(!foldIdenticalChannels(sound));
            QCOMPARE(sound, before);
        }
    }
};

QTEST_GUILESS_MAIN(MonoSoundTest)
#include "MonoSoundTest.moc"
