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
    bool mono = false; // pcm holds one channel: the two were the same throughout
};

// A bell recorded in mono comes out of the decoding tool with its channels alike: held as one
// channel it takes half the memory for the hours it waits. False, and `stereo` untouched, when any
// frame's channels differ.
bool foldIdenticalChannels(QByteArray& stereo);
// `count` bytes of one-channel sound from `mono`, each sample written to both channels.
void appendAsStereo(QByteArray& out, const char* mono, qsizetype count);

} // namespace halvix
