#include "audio/SinkFormat.h"

#include "audio/DecodeProtocol.h"

#include <QAudioSink>

namespace halvix {

namespace {

// Beyond the sink's own buffer, what the sound server may still hold when the sink runs dry.
constexpr qint64 kTailMs = 250;

} // namespace

QAudioFormat decodedFormat() {
    QAudioFormat format;
    format.setSampleFormat(QAudioFormat::Int16);
    format.setSampleRate(decodetool::kSampleRate);
    format.setChannelCount(decodetool::kChannels);
    return format;
}

std::optional<SoundChannel::SinkState> sinkStateOf(const QAudioSink* sink) {
    using State = SoundChannel::SinkState;
    if (!sink)
        return std::nullopt;
    switch (sink->state()) {
    case QAudio::ActiveState:
        return State::Active;
    case QAudio::IdleState:
        return State::Idle;
    case QAudio::SuspendedState:
        return State::Stopped;
    default:
        return sink->error() == QAudio::NoError ? State::Stopped : State::Failed;
    }
}

qint64 msUntilHeard(const QAudioSink& sink) {
    return sink.format().durationForBytes(qint32(sink.bufferSize())) / 1000 + kTailMs;
}

} // namespace halvix
