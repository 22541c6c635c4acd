#include "audio/SoundDecoder.h"
#include "audio/DecodedSound.h"

#include "support/SoundRecorder.h"
#include "support/TempFolder.h"
#include "support/Tones.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <optional>

using namespace halvix;
using namespace halvix::test;

namespace {

// Decodes `path` on the decoder's thread and waits for its result.
std::optional<DecodedSound> decode(const std::string& path) {
    QObject receiver;
    std::optional<DecodedSound> result;
    SoundDecoder decoder(&receiver, [&](quint64, const DecodedSound& sound) { result = sound; });
    decoder.start(1, QString::fromStdString(path));
    // Nothing after ten seconds comes back as no result.
    (void)QTest::qWaitFor([&] { return result.has_value(); }, 10000);
    return result;
}

// The first frame whose sample reaches `level` on either channel, or -1.
qsizetype firstFrameAt(const DecodedSound& sound, int level) {
    const auto* samples = reinterpret_cast<const std::int16_t*>(sound.pcm.constData());
    const qsizetype count = sound.pcm.size() / 2;
    for (qsizetype i = 0; i < count; ++i)
        if (std::abs(int(samples[i])) >= level)
            return i / 2;
    return -1;
}

// The RMS and the peak of one channel of a decoded sound (a folded mono sound has one for both),
// from its first tenth of a second on for a second: a lossy codec's edges are left out.
struct ChannelLevel {
    double rms = 0;
    int peak = 0;
};

ChannelLevel channelLevel(const DecodedSound& sound, int channel) {
    const auto* samples = reinterpret_cast<const std::int16_t*>(sound.pcm.constData());
    const int channels = sound.mono ? 1 : 2;
    const qsizetype first = kRate / 10;
    const qsizetype frames = std::min<qsizetype>(sound.pcm.size() / 2 / channels, first + kRate);
    ChannelLevel level;
    double sum = 0;
    for (qsizetype f = first; f < frames; ++f) {
        const int sample = samples[f * channels + (sound.mono ? 0 : channel)];
        sum += double(sample) * sample;
        level.peak = std::max(level.peak, std::abs(sample));
    }
    level.rms = frames > first ? std::sqrt(sum / double(frames - first)) : 0.0;
    return level;
}

// The generated tone's RMS: a sine at an eighth of full scale.
constexpr double kToneRms = 32768.0 / 8.0 / 1.4142135623730951;

} // namespace

class SoundDecoderTest : public QObject {
    Q_OBJECT

private slots:
    // Every format and channel count comes out as 16-bit stereo at 44.1 kHz, starting with its
    // sound: the encoder's priming and any leading silence are dropped.
    void decodesEachFormatWithoutLeadingSilence_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("silenceSeconds");
        for (const char* extension : {"wav", "mp3", "wma"}) {
            QTest::addRow("%s mono", extension) << extension << 1 << 0.0;
            QTest::addRow("%s stereo", extension) << extension << 2 << 0.0;
            QTest::addRow("%s after 0.3 s of silence", extension) << extension << 1 << 0.3;
        }
    }

    void decodesEachFormatWithoutLeadingSilence() {
        QFETCH(QString, extension);
        QFETCH(int, channels);
        QFETCH(double, silenceSeconds);
        const std::string path = (m_folder / ("音." + extension.toStdString())).string();
        const QString source =
            QString("sine=frequency=440:duration=%1:sample_rate=%2").arg(kToneSeconds).arg(kRate);
        const QString silence = QString("anullsrc=r=%1:cl=mono:d=%2").arg(kRate).arg(silenceSeconds);
        QStringList arguments{"-v", "error", "-y"};
        if (silenceSeconds > 0)
            arguments << "-f"
                      << "lavfi"
                      << "-i" << silence << "-f"
                      << "lavfi"
                      << "-i" << source << "-filter_complex"
                      << "[0][1]concat=n=2:v=0:a=1";
        else
            arguments << "-f"
                      << "lavfi"
                      << "-i" << source;
        arguments << "-ac" << QString::number(channels) << QString::fromStdString(path);
        QVERIFY(run("ffmpeg", arguments));

        const std::optional<DecodedSound> sound = decode(path);
        QVERIFY(sound);
        QCOMPARE(sound->outcome, DecodedSound::Outcome::Decoded);
        // The tone's second sample is about 250: it is there within the first millisecond. After
        // encoded silence a lossy codec leaves up to one frame (46 ms) of faint pre-echo.
        const qsizetype first = firstFrameAt(*sound, 100);
        const qsizetype within = silenceSeconds > 0 && extension != "wav" ? kRate / 20 : kRate / 1000;
        QVERIFY2(first >= 0 && first < within, qPrintable(QString("first sound at frame %1").arg(first)));
        // The tone is whole (a WMA decoder keeps back at most its last frame of 46 ms).
        QVERIFY2(std::abs(double(sound->lengthMs) - kToneSeconds * 1000.0) <= 60.0,
                 qPrintable(QString("%1 ms decoded").arg(sound->lengthMs)));
    }

    // Each channel comes out at the level it was made: a mono file's one channel on both sides,
    // a stereo file's channels each on its own.
    void decodesEachChannelAtItsLevel_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("mix"); // ffmpeg's pan filter, from the mono tone
        QTest::addColumn<double>("left"); // each side's level, of the tone's
        QTest::addColumn<double>("right");
        for (const char* extension : {"wav", "mp3", "wma"}) {
            QTest::addRow("%s mono", extension) << extension << "mono|c0=c0" << 1.0 << 1.0;
            QTest::addRow("%s stereo, the right side at half", extension)
                << extension << "stereo|c0=c0|c1=0.5*c0" << 1.0 << 0.5;
            QTest::addRow("%s stereo, the left side silent", extension)
                << extension << "stereo|c0=0*c0|c1=c0" << 0.0 << 1.0;
        }
    }

    void decodesEachChannelAtItsLevel() {
        QFETCH(QString, extension);
        QFETCH(QString, mix);
        QFETCH(double, left);
        QFETCH(double, right);
        const std::string path = (m_folder / ("声道." + extension.toStdString())).string();
        QVERIFY(run("ffmpeg",
                    {"-v", "error", "-y", "-f", "lavfi", "-i",
                     QString("sine=frequency=440:duration=%1:sample_rate=%2").arg(kToneSeconds).arg(kRate),
                     "-af", "pan=" + mix, QString::fromStdString(path)}));
        const std::optional<DecodedSound> sound = decode(path);
        QVERIFY(sound);
        QCOMPARE(sound->outcome, DecodedSound::Outcome::Decoded);
        const double expected[] = {left, right};
        for (int channel = 0; channel < 2; ++channel) {
            const double rms = channelLevel(*sound, channel).rms;
            const QString heard = QString("channel %1: RMS %2, made at %3")
                                      .arg(channel)
                                      .arg(rms)
                                      .arg(expected[channel] * kToneRms);
            // A lossy codec moves a pure tone's level by up to half a dB and leaks a little.
            const double within = extension == "wav" ? 0.05 : 0.6;
            if (expected[channel] == 0)
                QVERIFY2(rms < 30, qPrintable(heard));
            else
                QVERIFY2(std::abs(decibels(rms, expected[channel] * kToneRms)) <= within, qPrintable(heard));
        }
    }

    // A surround file (5.1) is mixed down to stereo with its weights scaled so that the loudest
    // side is no louder than the loudest channel it came from: nothing clips.
    void surroundIsMixedDownWithoutClipping() {
        const std::string path = (m_folder / "环绕.wav").string();
        // The same tone at 0.9 of full scale in all six channels.
        QVERIFY(
            run("ffmpeg",
                {"-v", "error", "-y", "-f", "lavfi", "-i",
                 QString("sine=frequency=440:duration=%1:sample_rate=%2").arg(kToneSeconds).arg(kRate), "-af",
                 "volume=7.2,pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0", QString::fromStdString(path)}));
        const std::optional<DecodedSound> sound = decode(path);
        QVERIFY(sound);
        QCOMPARE(sound->outcome, DecodedSound::Outcome::Decoded);
        for (int channel = 0; channel < 2; ++channel) {
            const ChannelLevel level = channelLevel(*sound, channel);
            const QString heard =
                QString("channel %1: peak %2, RMS %3").arg(channel).arg(level.peak).arg(level.rms);
            QVERIFY2(level.peak <= 0.9 * 32768 * 1.01, qPrintable(heard));
            QVERIFY2(std::abs(decibels(level.rms, 0.9 * 8 * kToneRms)) <= 0.05, qPrintable(heard));
        }
    }

    void badFilesAreUnplayable_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addRow("empty") << QByteArray();
        QTest::addRow("not audio") << QByteArray("这不是声音文件\n", 22);
        QTest::addRow("only a header") << QByteArray("RIFF\x24\x00\x00\x00WAVEfmt ", 16);
    }

    void badFilesAreUnplayable() {
        QFETCH(QByteArray, content);
        const std::string path = (m_folder / "坏.wav").string();
        std::ofstream(path, std::ios::binary).write(content.constData(), content.size());
        const std::optional<DecodedSound> sound = decode(path);
        QVERIFY(sound);
        QCOMPARE(sound->outcome, DecodedSound::Outcome::Unplayable);
        QVERIFY(sound->pcm.isEmpty());
    }

    void missingFileIsUnplayable() {
        const std::optional<DecodedSound> sound = decode((m_folder / "没有.mp3").string());
        QVERIFY(sound);
        QCOMPARE(sound->outcome, DecodedSound::Outcome::Unplayable);
    }

private:
    TempFolder m_folder;
};

QTEST_GUILESS_MAIN(SoundDecoderTest)
#include "SoundDecoderTest.moc"
