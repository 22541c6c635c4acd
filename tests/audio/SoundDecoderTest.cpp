#include "audio/SoundDecoder.h"
#include "audio/DecodedSound.h"

#include "support/SoundRecorder.h"
#include "support/TempFolder.h"
#include "support/Tones.h"

#include <QtTest>

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
