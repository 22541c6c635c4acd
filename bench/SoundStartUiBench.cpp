// From a firing (playPath) to the first audible sample on the sound server's output, as a listener at
// the loudspeaker would hear it, for the player of tracks (streamed by the decoding tool) and for
// the player of decoded sound (its file prepared ahead, as the bell does when it arms an entry, and
// not prepared). Needs a sound
// server (PULSE_SERVER; HALVIX_NULL_SINK names its output), pacat and ffmpeg.
//
// Two figures per way of playing: the absolute time to sound (the monitor's sample count read at
// the call, as a listener would time it; includes how late the recorder's reads come), and the
// differences between formats on the recorded timeline: each firing's time and its onset's sample
// index give an offset whose constant part cancels, exact on a null sink without rewinds.
// Usage: bench_SoundStartUiBench [trials=20] [ways: all | prepared]
#include "audio/PulsePlayer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kAudible = 1000; // the tone's peak is about 4100

void pump(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::msleep(1);
    }
}

// The output's monitor, read continuously: sample i of the recording was heard i / kRate seconds
// after sample 0.
class Monitor {
public:
    explicit Monitor(const QString& output) {
        m_process.start("pacat",
                        {"--record", "--raw", "--latency-msec=5", "--format=s16le",
                         QString("--rate=%1").arg(kRate), "--channels=1", "--device=" + output + ".monitor"});
    }
    ~Monitor() {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    qsizetype samples() {
        m_process.waitForReadyRead(0);
        m_bytes += m_process.readAllStandardOutput();
        return m_bytes.size() / 2;
    }
    // The first sample from `from` on whose magnitude reaches kAudible, or -1.
    qsizetype firstAudible(qsizetype from) {
        const qsizetype count = samples();
        for (qsizetype i = from; i < count; ++i) {
            std::int16_t sample;
            std::memcpy(&sample, m_bytes.constData() + 2 * i, 2);
            if (std::abs(int(sample)) >= kAudible)
                return i;
        }
        return -1;
    }

private:
    QProcess m_process;
    QByteArray m_bytes;
};

double quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(q * double(values.size() - 1) + 0.5)];
}

double median(std::vector<double> values) {
    return quantile(std::move(values), 0.5);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int trials = argc > 1 ? std::max(3, std::atoi(argv[1])) : 20;
    const bool preparedOnly = argc > 2 && std::strcmp(argv[2], "prepared") == 0;
    const QByteArray named = qgetenv("HALVIX_NULL_SINK");
    const QString output = named.isEmpty() ? QStringLiteral("@DEFAULT_SINK@") : QString::fromUtf8(named);

    QTemporaryDir folder;
    std::vector<std::string> files;
    for (const char* extension : {"mp3", "wav", "wma"}) {
        const QString file = folder.filePath(QString("铃声.%1").arg(extension));
        if (QProcess::execute("ffmpeg",
                              {"-v", "error", "-y", "-f", "lavfi", "-i",
                               "sine=frequency=440:duration=1:sample_rate=44100", "-ac", "1", file}) != 0) {
            std::printf("ffmpeg could not make %s\n", qPrintable(file));
            return 2;
        }
        files.push_back(file.toStdString());
    }

    QElapsedTimer timeline; // the firings' times, against the recording's sample index
    timeline.start();
    Monitor monitor(output);
    pump(500);
    for (int i = 0; i < 100 && monitor.samples() < kRate / 10; ++i)
        pump(50);
    if (monitor.samples() < kRate / 10) {
        std::printf("the output's monitor records nothing: is a sound server running?\n");
        return 2;
    }

    halvix::PulseStreamPlayer piped;
    halvix::PulseBellPlayer decoded;
    struct Way {
        const char* name;
        halvix::SoundPlayer& player;
        bool prepared;
    };
    const Way ways[] = {{"piped", piped, false},
                        {"decoded, not prepared", decoded, false},
                        {"decoded, prepared", decoded, true}};
    std::printf("%-6s %-22s %7s %7s %7s %7s %9s\n", "file", "player", "p50 ms", "p95 ms", "min ms", "max ms",
                "call ms");
    std::map<std::string, std::map<std::string, double>> offsets; // way -> extension -> median offset
    for (const Way& way : ways) {
        if (preparedOnly && !way.prepared)
            continue;
        // The formats take turns within each round, so that a slow drift of the recorded timeline
        // against the steady clock (a few hundred ppm on this sink) falls on each format alike.
        std::map<std::string, std::vector<double>> toSound, inCall, offset;
        for (int trial = 0; trial < trials; ++trial) {
            for (const std::string& file : files) {
                way.player.close();
                if (way.prepared)
                    way.player.prepare(file); // the bell prepares when it arms, long before the firing
                pump(700);                    // silence between trials
                const qsizetype fired = monitor.samples();
                const double firedMs = double(timeline.nsecsElapsed()) / 1e6;
                QElapsedTimer call;
                call.start();
                way.player.playPath(file);
                inCall[file].push_back(double(call.nsecsElapsed()) / 1e6);
                qsizetype heard = -1;
                while (heard < 0 && call.elapsed() < 3000) {
                    pump(2);
                    heard = monitor.firstAudible(fired);
                }
                if (heard < 0) {
                    std::printf("%s, %s, trial %d: nothing heard within 3 s\n", file.c_str(), way.name, trial);
                    continue;
                }
                toSound[file].push_back(double(heard - fired) * 1000.0 / kRate);
                offset[file].push_back(double(heard) * 1000.0 / kRate - firedMs);
            }
        }
        way.player.close();
        for (const std::string& file : files) {
            const auto& heard = toSound[file];
            if (heard.empty())
                return 1;
            std::printf("%-6s %-22s %7.1f %7.1f %7.1f %7.1f %9.2f  (%zu trials)\n",
                        file.substr(file.rfind('.')).c_str(), way.name, median(heard), quantile(heard, 0.95),
                        *std::min_element(heard.begin(), heard.end()),
                        *std::max_element(heard.begin(), heard.end()), median(inCall[file]), heard.size());
            offsets[way.name][file.substr(file.rfind('.'))] = median(offset[file]);
        }
    }
    for (const auto& [way, byFormat] : offsets) {
        if (!byFormat.count(".wav"))
            continue;
        const double wav = byFormat.at(".wav");
        std::printf("recorded timeline, %s: .mp3 %+.1f ms, .wma %+.1f ms after .wav\n", way.c_str(),
                    byFormat.count(".mp3") ? byFormat.at(".mp3") - wav : 0.0,
                    byFormat.count(".wma") ? byFormat.at(".wma") - wav : 0.0);
    }
    return 0;
}
