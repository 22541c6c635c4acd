#pragma once

#include "audio/DecodeProtocol.h"

#include <QByteArray>

namespace halvix {

// About 47 s of 16-bit stereo at 44.1 kHz: any bell, and the memory a few of them take. Longer
// sound is never decoded whole: it is streamed.
inline constexpr qsizetype kMaxDecodedBytes = 8 * 1024 * 1024;

// What decoding one file gave.
struct DecodedSound {
    enum class Outcome { Decoded, Unplayable, TooLong };
    Outcome outcome = Outcome::Unplayable;
    QByteArray pcm;
    qint64 lengthMs = 0;
};

} // namespace halvix
