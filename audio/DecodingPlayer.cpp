#include "audio/DecodingPlayer.h"

#include "audio/SoundDecoder.h"

#include <QFileInfo>

#include <utility>

namespace halvix {

namespace {

FileStamp stampOf(const QString& path) {
    const QFileInfo file(path);
    return {file.size(), file.lastModified()};
}

} // namespace

DecodingPlayer::DecodingPlayer(QObject* parent)
    : SoundChannel(parent),
      m_decoder(std::make_unique<SoundDecoder>(
          this, [this](quint64 job, const DecodedSound& sound) { onDecoded(job, sound); })),
      m_cache([this](quint64 job) {
          if (m_decoder)
              m_decoder->cancel(job);
      }) {
    m_age.start();
    m_startQuiet.setSingleShot(true);
    m_startQuiet.setTimerType(Qt::PreciseTimer);
    connect(&m_startQuiet, &QTimer::timeout, this,
            [this] { prepareNow(std::exchange(m_preparedAfterQuiet, {})); });
}

DecodingPlayer::~DecodingPlayer() = default;

void DecodingPlayer::stopDecoding() {
    m_decoder.reset();
}

void DecodingPlayer::playedToTheEnd() {
    if (!m_looping && !m_awaiting && !m_streamingActive)
        m_cache.trim(QString(), 1);
}

qsizetype DecodingPlayer::decodedBytes() const {
    // The playing sound shares its bytes with its entry while that is kept.
    return m_cache.bytes() + (m_cache.holds(m_playingPcm) ? 0 : m_playingPcm.size());
}

const SoundCache::Entry* DecodingPlayer::findCurrent(const QString& path) {
    return m_cache.find(path, stampOf(path));
}

void DecodingPlayer::startDecoding(const QString& path) {
    m_decoder->start(m_cache.add(path, stampOf(path)), path);
}

void DecodingPlayer::prepare(const std::string& fullPath) {
    const qint64 age = m_age.elapsed();
    if (age < kStartQuietMs) {
        m_preparedAfterQuiet = fullPath; // the latest wins, as it would have
        if (!m_startQuiet.isActive())
            m_startQuiet.start(int(kStartQuietMs - age));
        return;
    }
    prepareNow(fullPath);
}

void DecodingPlayer::prepareNow(const std::string& fullPath) {
    const QString path = QString::fromStdString(fullPath);
    if (!QFileInfo(path).isFile())
        return; // only a hint: playPath reports the missing file
    if (!findCurrent(path))
        startDecoding(path);
    m_cache.markPrepared(path);
    trimCache();
}

unsigned long long DecodingPlayer::playPath(const std::string& fullPath) {
    m_looping = false;
    startPlaying(fullPath);
    return playback();
}

void DecodingPlayer::playLoop(const std::string& fullPath) {
    m_looping = true;
    startPlaying(fullPath);
}

void DecodingPlayer::startPlaying(const std::string& fullPath) {
    if (!open(fullPath))
        return;
    if (!findCurrent(path()))
        startDecoding(path());
    m_awaiting = true;
    startAwaited();
}

// Plays the awaited sound when its decoding is over; waits otherwise.
void DecodingPlayer::startAwaited() {
    const SoundCache::Entry* sound = findCurrent(path());
    if (!m_awaiting || !sound || sound->state == SoundCache::State::Decoding)
        return;
    m_awaiting = false;
    switch (sound->state) {
    case SoundCache::State::Ready:
        playPcm(*sound);
        trimCache(); // a sound that was not prepared is held by the output alone
        break;
    case SoundCache::State::TooLong:
        playStreaming();
        break;
    default:
        failLater(SoundFault::Unplayable, unplayableText());
        break;
    }
}

void DecodingPlayer::onDecoded(quint64 job, const DecodedSound& decoded) {
    const SoundCache::Entry* sound = m_cache.store(job, decoded);
    if (sound && isOpen() && m_awaiting && sound->path == path())
        startAwaited();
}

void DecodingPlayer::playPcm(const SoundCache::Entry& sound) {
    m_playingPcm = sound.pcm;
    m_playingMono = sound.mono;
    if (!startPcm(m_looping)) {
        // No sound from the output (the sound server is away or refuses the format): stream instead.
        stopPcm();
        playStreaming();
        return;
    }
    // Reported from the event loop, as the streaming player does.
    announceLengthLater(sound.lengthMs);
}

void DecodingPlayer::playStreaming() {
    if (!m_streaming) {
        m_streaming = makeStreamer();
        relayReportsOf(*m_streaming, m_streamingActive);
    }
    m_streamingActive = true;
    m_streaming->playPath(path().toStdString());
}

void DecodingPlayer::stopSound() {
    stopPcm();
    if (m_streamingActive)
        m_streaming->close();
}

void DecodingPlayer::onClosed() {
    m_awaiting = false;
    m_streamingActive = false;
    trimCache();
}

bool DecodingPlayer::isPlaying() const {
    if (!isOpen())
        return false;
    if (m_streamingActive)
        return m_streaming->isPlaying();
    return pcmPlaying();
}

bool DecodingPlayer::isLooping() const {
    if (!isOpen() || !m_looping || m_streamingActive)
        return false;
    return m_awaiting || pcmStarted();
}

// Keeps the latest prepared sounds and the one playPath waits for; the rest goes.
void DecodingPlayer::trimCache() {
    m_cache.trim(isOpen() && m_awaiting ? path() : QString());
}

} // namespace halvix
