#pragma once

#include "audio/DecodingPlayer.h"

#include <memory>

class QAudioSink;
class QIODevice;

namespace halvix {

// Decoded sound played from memory through a QAudioSink; long files, and sound the sink cannot
// start, are streamed by a PipePlayer.
class MemoryPlayer : public DecodingPlayer {
    Q_OBJECT

public:
    explicit MemoryPlayer(QObject* parent = nullptr);
    ~MemoryPlayer() override;

protected:
    bool startPcm(bool loop) override;
    void stopPcm() override { releaseSink(); }
    bool pcmPlaying() const override;
    bool pcmStarted() const override;
    std::unique_ptr<SoundChannel> makeStreamer() override;

private:
    std::optional<SinkState> sinkState() const override;
    qint64 msUntilHeard() const override;
    void releaseSink() override;

    std::unique_ptr<QIODevice> m_source;
    std::unique_ptr<QAudioSink> m_sink;
};

// The window program's players: on the media framework's audio sink.
BellPlayers sinkPlayers();

} // namespace halvix
