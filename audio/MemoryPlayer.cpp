#include "audio/MemoryPlayer.h"

#include "audio/PipePlayer.h"
#include "audio/SoundDecoder.h"

#include <QAudioSink>
#include <QBuffer>
#include <QFileInfo>
#include <QMediaDevices>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <utility>

namespace halvix {

namespace {

FileStamp stampOf(const QString& path) {
    const QFileInfo file(path);
    return {file.size(), file.lastModified()};
}

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

MemoryPlayer::MemoryPlayer(QObject* parent)
    : SoundChannel(parent),
      m_decoder(std::make_unique<SoundDecoder>(
          this, [this](quint64 job, const DecodedSound& sound) { onDecoded(job, sound); })),
      m_cache([this](quint64 job) {
          if (m_decoder)
              m_decoder->cancel(job);
      }) {}

MemoryPlayer::~MemoryPlayer() {
    // No result may arrive while the members go.
    m_decoder.reset();
    releaseSink();
}

qsizetype MemoryPlayer::decodedBytes() const {
    // The playing sound shares its bytes with its entry while that is kept.
    return m_cache.bytes() + (m_cache.holds(m_playingPcm) ? 0 : m_playingPcm.size());
}

const SoundCache::Entry* MemoryPlayer::findCurrent(const QString& path) {
    return m_cache.find(path, stampOf(path));
}

void MemoryPlayer::startDecoding(const QString& path) {
    m_decoder->start(m_cache.add(path, stampOf(path)), path);
}

void MemoryPlayer::prepare(const std::string& fullPath) {
    const QString path = QString::fromStdString(fullPath);
    if (!QFileInfo(path).isFile())
        return; // only a hint: playPath reports the missing file
    if (!findCurrent(path))
        startDecoding(path);
    m_cache.markPrepared(path);
    trimCache();
}

void MemoryPlayer::playPath(const std::string& fullPath) {
    m_looping = false;
    startPlaying(fullPath);
}

void MemoryPlayer::playLoop(const std::string& fullPath) {
    m_looping = true;
    startPlaying(fullPath);
}

void MemoryPlayer::startPlaying(const std::string& fullPath) {
    if (!open(fullPath))
        return;
    if (!findCurrent(path()))
        startDecoding(path());
    m_awaiting = true;
    startAwaited();
}

// Plays the awaited sound when its decoding is over; waits otherwise.
void MemoryPlayer::startAwaited() {
    const SoundCache::Entry* sound = findCurrent(path());
    if (!m_awaiting || !sound || sound->state == SoundCache::State::Decoding)
        return;
    m_awaiting = false;
    switch (sound->state) {
    case SoundCache::State::Ready:
        playPcm(*sound);
        // The sink holds the playing sound's bytes until it ends (a sound not prepared is held by
        // it alone): only the armed entry's sound stays decoded, the one fired before it goes.
        m_cache.trim(QString(), 1);
        break;
    case SoundCache::State::TooLong:
        playStreaming();
        break;
    default:
        failLater(unplayableText());
        break;
    }
}

void MemoryPlayer::onDecoded(quint64 job, const DecodedSound& decoded) {
    const SoundCache::Entry* sound = m_cache.store(job, decoded);
    if (sound && isOpen() && m_awaiting && sound->path == path())
        startAwaited();
}

void MemoryPlayer::playPcm(const SoundCache::Entry& sound) {
    m_playingPcm = sound.pcm;
    if (m_looping)
        m_source = std::make_unique<LoopingSource>(m_playingPcm);
    else
        m_source = std::make_unique<QBuffer>(&m_playingPcm);
    m_source->open(QIODevice::ReadOnly);
    m_sink = std::make_unique<QAudioSink>(QMediaDevices::defaultAudioOutput(), sound.format);
    connect(m_sink.get(), &QAudioSink::stateChanged, this, &MemoryPlayer::onSinkState);
    m_sink->start(m_source.get());
    if (m_sink->error() != QAudio::NoError) {
        // No sound from the sink (the sound server is away or refuses the format): stream instead.
        releaseSink();
        playStreaming();
        return;
    }
    // Reported from the event loop, as the streaming player does.
    announceLengthLater(sound.lengthMs);
}

void MemoryPlayer::playStreaming() {
    if (!m_streaming) {
        m_streaming = std::make_unique<PipePlayer>();
        relayReportsOf(*m_streaming, m_streamingActive);
    }
    m_streamingActive = true;
    m_streaming->playPath(path().toStdString());
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

void MemoryPlayer::stopSound() {
    releaseSink();
    if (m_streamingActive)
        m_streaming->close();
}

void MemoryPlayer::onClosed() {
    m_awaiting = false;
    m_streamingActive = false;
    trimCache();
}

bool MemoryPlayer::isPlaying() const {
    if (!isOpen())
        return false;
    if (m_streamingActive)
        return m_streaming->isPlaying();
    return m_sink && m_sink->state() == QAudio::ActiveState;
}

bool MemoryPlayer::isLooping() const {
    if (!isOpen() || !m_looping || m_streamingActive)
        return false;
    return m_awaiting || (m_sink && m_sink->state() != QAudio::StoppedState);
}

// Keeps the latest prepared sounds and the one playPath waits for; the rest goes.
void MemoryPlayer::trimCache() {
    m_cache.trim(isOpen() && m_awaiting ? path() : QString());
}

} // namespace halvix
