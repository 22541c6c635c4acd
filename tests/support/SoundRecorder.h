#pragma once

// Recording what the sound server plays, for tests that must hear the program's sound.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace halvix::test {

constexpr int kRate = 44100;
constexpr double kToneSeconds = 1.5;
constexpr double kAudibleRms = 500.0; // the generated tone has an RMS near 2900; silence is 0

// The sound server's output that the program plays to: the test server's null output, else the default.
inline QString soundOutput() {
    const QByteArray output = qgetenv("HALVIX_NULL_SINK");
    return output.isEmpty() ? QStringLiteral("@DEFAULT_SINK@") : QString::fromUtf8(output);
}

inline bool run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return false;
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

// Records the monitor of a sound output as 16-bit mono samples, as a listener at the loudspeaker
// would hear it; `server` empty: the one PULSE_SERVER names.
class SoundRecorder {
public:
    explicit SoundRecorder(const QString& output = soundOutput(), const QString& server = {}) {
        QStringList arguments{"--record", "--raw", "--latency-msec=10", "--format=s16le", "--channels=1"};
        arguments << QString("--rate=%1").arg(kRate) << "--device=" + output + ".monitor";
        if (!server.isEmpty())
            arguments << "--server=" + server;
        m_process.start("pacat", arguments);
    }
    ~SoundRecorder() {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    // True once the server delivers the monitor's samples.
    bool waitUntilRecording() {
        for (int i = 0; i < 100 && sampleCount() < kRate / 10; ++i)
            QTest::qWait(50);
        return sampleCount() >= kRate / 10;
    }
    qsizetype sampleCount() {
        m_bytes += m_process.readAllStandardOutput();
        return m_bytes.size() / 2;
    }
    double rms(qsizetype from, qsizetype to) {
        sampleCount();
        to = std::min(to, m_bytes.size() / 2);
        double sum = 0;
        for (qsizetype i = from; i < to; ++i) {
            std::int16_t sample;
            std::memcpy(&sample, m_bytes.constData() + 2 * i, 2);
            sum += double(sample) * sample;
        }
        return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
    }

    // Milliseconds of sound between the samples `from` and `to`, by 10 ms steps.
    int audibleMs(qsizetype from, qsizetype to) {
        sampleCount();
        to = std::min(to, m_bytes.size() / 2);
        int ms = 0;
        for (qsizetype step = from; step + kRate / 100 <= to; step += kRate / 100)
            ms += rms(step, step + kRate / 100) > kAudibleRms ? 10 : 0;
        return ms;
    }

    // The loudest RMS of any 100 ms heard so far.
    double loudest() {
        const qsizetype count = sampleCount();
        double best = 0;
        for (qsizetype from = 0; from + kRate / 10 <= count; from += kRate / 10)
            best = std::max(best, rms(from, from + kRate / 10));
        return best;
    }

private:
    QProcess m_process;
    QByteArray m_bytes;
};

} // namespace halvix::test
