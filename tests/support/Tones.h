#pragma once

// Test sounds made by ffmpeg: a 440 Hz tone in the codec a file's extension calls for.
#include "support/SoundRecorder.h"

#include <cmath>
#include <string>

namespace halvix::test {

// A tone as the file `path` (.wav, .mp3 or .wma), `seconds` long.
inline bool makeTone(const std::string& path, double seconds, int channels = 1) {
    const QString extension = QString::fromStdString(path.substr(path.rfind('.') + 1));
    const QString codec = extension == "wav" ? "pcm_s16le" : extension == "mp3" ? "libmp3lame" : "wmav2";
    return run("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                          QString("sine=frequency=440:duration=%1:sample_rate=%2").arg(seconds).arg(kRate),
                          "-ac", QString::number(channels), "-c:a", codec, QString::fromStdString(path)});
}

// The file's length as ffprobe reads it, or -1.
inline double fileMs(const std::string& path) {
    QByteArray probed;
    if (!run("ffprobe",
             {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0",
              QString::fromStdString(path)},
             &probed))
        return -1;
    return probed.trimmed().toDouble() * 1000.0;
}

// A sound file's level as sox reads it: the RMS of all its samples (0 to 1) and its length.
struct FileLevel {
    double rms = -1;
    double seconds = -1;
};

inline FileLevel fileLevel(const std::string& path) {
    QProcess sox;
    sox.setProcessChannelMode(QProcess::MergedChannels); // stat reports on standard error
    sox.start("sox", {QString::fromStdString(path), "-n", "stat"});
    FileLevel level;
    if (!sox.waitForFinished(30000))
        return level;
    for (const QByteArray& line : sox.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(':');
        if (parts.size() != 2)
            continue;
        const QByteArray name = parts[0].simplified();
        if (name == "RMS amplitude")
            level.rms = parts[1].trimmed().toDouble();
        else if (name == "Length (seconds)")
            level.seconds = parts[1].trimmed().toDouble();
    }
    return level;
}

// How much louder `rms` is than `reference`, in dB.
inline double decibels(double rms, double reference) {
    return 20.0 * std::log10(rms / reference);
}

} // namespace halvix::test
