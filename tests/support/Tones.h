#pragma once

// Test sounds made by ffmpeg: a 440 Hz tone in the codec a file's extension calls for.
#include "support/SoundRecorder.h"

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

} // namespace halvix::test
