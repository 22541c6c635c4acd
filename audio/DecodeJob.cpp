#include "audio/DecodeJob.h"

#include <QAudioBuffer>
#include <QUrl>

#include <utility>

namespace halvix {

namespace {

// The decoder delivers its first sound within about 70 ms and the next ones at once.
constexpr int kStallMs = 1500;

// Every sound is decoded to one format. The media framework's decoder of this Qt version only
// delivers compressed files (mp3, wma) when it is told a format; any rate and channel count is
// converted to this one.
QAudioFormat pcmFormat() {
    QAudioFormat format;
    format.setSampleFormat(QAudioFormat::Int16);
    format.setSampleRate(44100);
    format.setChannelCount(2);
    return format;
}

} // namespace

DecodeJob::DecodeJob(const QString& path, Done done) : m_done(std::move(done)) {
    QObject::connect(&m_decoder, &QAudioDecoder::bufferReady, &m_decoder, [this] { takeBuffer(); });
    QObject::connect(&m_decoder, &QAudioDecoder::finished, &m_decoder, [this] { finish(); });
    QObject::connect(&m_decoder, qOverload<QAudioDecoder::Error>(&QAudioDecoder::error), &m_decoder,
                     [this] { end(DecodedSound::Outcome::Unplayable); });
    QObject::connect(&m_decoder, &QAudioDecoder::durationChanged, &m_decoder,
                     [this](qint64 ms) { checkDuration(ms); });
    // A file that holds a header and no sound leaves the decoder waiting for ever.
    m_stall.setSingleShot(true);
    m_stall.setInterval(kStallMs);
    QObject::connect(&m_stall, &QTimer::timeout, &m_decoder, [this] { onStall(); });
    m_stall.start();
    m_decoder.setAudioFormat(pcmFormat());
    m_decoder.setSource(QUrl::fromLocalFile(path));
    m_decoder.start();
}

DecodeJob::~DecodeJob() {
    m_decoder.disconnect();
    m_decoder.stop();
}

void DecodeJob::takeBuffer() {
    const QAudioBuffer buffer = m_decoder.read();
    if (m_ended || !buffer.isValid())
        return;
    m_stall.start();
    const QAudioFormat format = buffer.format();
    const QByteArray bytes(buffer.constData<char>(), buffer.byteCount());
    if (m_sound.pcm.isEmpty())
        m_sound.format = format;
    else if (format != m_sound.format) // the streaming player copes with a format that changes midway
        return end(DecodedSound::Outcome::TooLong);
    if (m_sound.pcm.size() + bytes.size() > kMaxDecodedBytes)
        return end(DecodedSound::Outcome::TooLong);
    m_sound.pcm += bytes;
    checkDuration(m_decoder.duration());
}

// Stops early when the announced length alone is over the bound.
void DecodeJob::checkDuration(qint64 ms) {
    if (ms > 0 && m_sound.format.isValid() &&
        ms * m_sound.format.sampleRate() / 1000 * m_sound.format.bytesPerFrame() > kMaxDecodedBytes)
        end(DecodedSound::Outcome::TooLong);
}

// Without sound so far the file is unplayable; with some, the streaming player judges the rest.
void DecodeJob::onStall() {
    end(m_sound.pcm.isEmpty() ? DecodedSound::Outcome::Unplayable : DecodedSound::Outcome::TooLong);
}

void DecodeJob::finish() {
    if (m_sound.pcm.isEmpty() || !m_sound.format.isValid())
        return end(DecodedSound::Outcome::Unplayable);
    const qint64 frames = m_sound.pcm.size() / m_sound.format.bytesPerFrame();
    m_sound.lengthMs = frames * 1000 / m_sound.format.sampleRate();
    end(DecodedSound::Outcome::Decoded);
}

void DecodeJob::end(DecodedSound::Outcome outcome) {
    if (m_ended)
        return;
    m_ended = true;
    m_stall.stop();
    m_sound.outcome = outcome;
    if (outcome != DecodedSound::Outcome::Decoded)
        m_sound = DecodedSound{outcome, {}, {}, 0};
    m_done(std::move(m_sound));
}

} // namespace halvix
