#include "audio/MemoryPlayer.h"

#include "audio/PipePlayer.h"
#include "audio/SinkFormat.h"

#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>

#include <algorithm>
#include <cstring>
#include <utility>

namespace halvix {

namespace {

// Decoded sound read round and round: the sink never runs dry, so the loop has no gap at all.
class LoopingSource final : public QIODevice {
public:
    explicit LoopingSource(QByteArray pcm) : m_pcm(std::move(pcm)) {}
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override {
        return m_pcm.isEmpty() ? 0 : QIODevice::bytesAvailable() + m_pcm.size();
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        if (m_pcm.isEmpty())
            return -1;
        qint64 done = 0;
        while (done < maxSize) {
            const qint64 chunk = std::min(maxSize - done, m_pcm.size() - m_position);
            std::memcpy(data + done, m_pcm.constData() + m_position, static_cast<std::size_t>(chunk));
            done += chunk;
            m_position = (m_position + chunk) % m_pcm.size();
        }
        return done;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_pcm;
    qint64 m_position = 0;
};

} // namespace

MemoryPlayer::MemoryPlayer(QObject* parent) : DecodingPlayer(parent) {}

MemoryPlayer::~MemoryPlayer() {
    // No result may arrive while the members go.
    stopDecoding();
    releaseSink();
}

bool MemoryPlayer::startPcm(bool loop) {
    if (loop)
        m_source = std::make_unique<LoopingSource>(m_playingPcm);
    else
        m_source = std::make_unique<QBuffer>(&m_playingPcm);
    m_source->open(QIODevice::ReadOnly);
    m_sink = std::make_unique<QAudioSink>(QMediaDevices::defaultAudioOutput(), decodedFormat());
    connect(m_sink.get(), &QAudioSink::stateChanged, this, &MemoryPlayer::onSinkState);
    m_sink->start(m_source.get());
    return m_sink->error() == QAudio::NoError;
}

std::unique_ptr<SoundChannel> MemoryPlayer::makeStreamer() {
    return std::make_unique<PipePlayer>();
}

std::optional<SoundChannel::SinkState> MemoryPlayer::sinkState() const {
    return sinkStateOf(m_sink.get());
}

qint64 MemoryPlayer::msUntilHeard() const {
    return m_sink ? halvix::msUntilHeard(*m_sink) : 0;
}

void MemoryPlayer::releaseSink() {
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->stop();
        m_sink.reset();
    }
    m_source.reset();
    m_playingPcm = QByteArray();
}

bool MemoryPlayer::pcmPlaying() const {
    return m_sink && m_sink->state() == QAudio::ActiveState;
}

bool MemoryPlayer::pcmStarted() const {
    return m_sink && m_sink->state() != QAudio::StoppedState;
}

BellPlayers sinkPlayers() {
    return {std::make_unique<MemoryPlayer>(), std::make_unique<PipePlayer>()};
}

} // namespace halvix
