#pragma once

#include "audio/SoundChannel.h"

#include <QAudioFormat>

#include <optional>

class QAudioSink;

namespace halvix {

// What the decoding tool writes, as the audio sink takes it: 16-bit stereo at 44.1 kHz.
QAudioFormat decodedFormat();

// The sink's state as a channel follows it; none without a sink.
std::optional<SoundChannel::SinkState> sinkStateOf(const QAudioSink* sink);

// How long after `sink` went idle its last sound is heard: its own buffer, and what the sound
// server may still hold.
qint64 msUntilHeard(const QAudioSink& sink);

} // namespace halvix
