#include "bell/PcmPlayer.h"

#include "bell/MciPlayer.h"
#include "bell/ProcessPriority.h"

#include <QAudioBuffer>
#include <QAudioDecoder>
#include <QAudioSink>
#include <QBuffer>
#include <QFileInfo>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <map>
#include <utility>

namespace halvix {

// What decoding one file gave.
struct DecodedSound {
    enum class Outcome { Decoded, Unplayable, TooLong };
    Outcome outcome = Outcome::Unplayable;
    QByteArray pcm;
    QAudioFormat format;
    qint64 lengthMs = 0;
};

namespace {

// The decoder delivers its first sound within about 70 ms and the next ones at once.
constexpr int kStallMs = 1500;
// Beyond the sink's own buffer, what the sound server may still hold when the sink runs dry.
constexpr qint64 kTailMs = 250;

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

// One file's decoding, on the decoder's thread. Calls `done` once, then is deleted by its owner.
class DecodeJob {
public:
    using Done = std::function<void(DecodedSound)>;

    DecodeJob(const QString& path, Done done) : m_done(std::move(done)) {
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
    ~DecodeJob() {
        m_decoder.disconnect();
        m_decoder.stop();
    }

private:
    void takeBuffer() {
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
        if (m_sound.pcm.size() + bytes.size() > PcmPlayer::kMaxDecodedBytes)
            return end(DecodedSound::Outcome::TooLong);
        m_sound.pcm += bytes;
        checkDuration(m_decoder.duration());
    }
    // Stops early when the announced length alone is over the bound.
    void checkDuration(qint64 ms) {
        if (ms > 0 && m_sound.format.isValid() &&
            ms * m_sound.format.sampleRate() / 1000 * m_sound.format.bytesPerFrame() >
                PcmPlayer::kMaxDecodedBytes)
            end(DecodedSound::Outcome::TooLong);
    }
    // Without sound so far the file is unplayable; with some, the streaming player judges the rest.
    void onStall() {
        end(m_sound.pcm.isEmpty() ? DecodedSound::Outcome::Unplayable : DecodedSound::Outcome::TooLong);
    }
    void finish() {
        if (m_sound.pcm.isEmpty() || !m_sound.format.isValid())
            return end(DecodedSound::Outcome::Unplayable);
        const qint64 frames = m_sound.pcm.size() / m_sound.format.bytesPerFrame();
        m_sound.lengthMs = frames * 1000 / m_sound.format.sampleRate();
        end(DecodedSound::Outcome::Decoded);
    }
    void end(DecodedSound::Outcome outcome) {
        if (m_ended)
            return;
        m_ended = true;
        m_stall.stop();
        m_sound.outcome = outcome;
        if (outcome != DecodedSound::Outcome::Decoded)
            m_sound = DecodedSound{outcome, {}, {}, 0};
        m_done(std::move(m_sound));
    }

    QAudioDecoder m_decoder;
    QTimer m_stall;
    DecodedSound m_sound;
    Done m_done;
    bool m_ended = false;
};

} // namespace

// Decodes files on its own thread, so the window thread never waits for a decoder. Each result
// comes back on the receiver's thread.
class PcmDecoder {
public:
    using Done = std::function<void(quint64 job, const DecodedSound&)>;

    PcmDecoder(QObject* receiver, Done done) : m_receiver(receiver), m_done(std::move(done)) {
        m_thread.setObjectName(QStringLiteral("pcm decoder"));
        m_context.moveToThread(&m_thread);
        m_thread.start(QThread::LowPriority);
    }
    ~PcmDecoder() {
        // The decoders live on the thread and go with it.
        QMetaObject::invokeMethod(
            &m_context, [this] { m_jobs.clear(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    void start(quint64 job, const QString& path) {
        QMetaObject::invokeMethod(&m_context, [this, job, path] {
            m_jobs[job] = std::make_unique<DecodeJob>(path, [this, job](DecodedSound sound) {
                QMetaObject::invokeMethod(
                    m_receiver, [done = m_done, job, sound = std::move(sound)] { done(job, sound); },
                    Qt::QueuedConnection);
                // Not from inside the decoder's own signal.
                QMetaObject::invokeMethod(
                    &m_context, [this, job] { m_jobs.erase(job); }, Qt::QueuedConnection);
            });
        });
    }
    void cancel(quint64 job) {
        QMetaObject::invokeMethod(&m_context, [this, job] { m_jobs.erase(job); });
    }

private:
    QObject* m_receiver;
    Done m_done;
    QThread m_thread;
    QObject m_context;                                    // lives on m_thread
    std::map<quint64, std::unique_ptr<DecodeJob>> m_jobs; // touched on m_thread only
};

namespace {

QString unplayableText(const QString& path) {
    return QStringLiteral("无法播放声音文件: %1").arg(path);
}

} // namespace

PcmPlayer::PcmPlayer(QObject* parent) : QObject(parent) {
    m_decoder = std::make_unique<PcmDecoder>(
        this, [this](quint64 job, const DecodedSound& sound) { onDecoded(job, sound); });
}

PcmPlayer::~PcmPlayer() {
    // No result may arrive while the members go.
    m_decoder.reset();
    releaseSink();
}

qsizetype PcmPlayer::decodedBytes() const {
    qsizetype bytes = 0;
    for (const Sound& sound : m_sounds)
        bytes += sound.pcm.size();
    // The playing sound shares its bytes with its entry while that is kept.
    const bool shared = std::any_of(m_sounds.begin(), m_sounds.end(), [this](const Sound& sound) {
        return sound.pcm.constData() == m_playingPcm.constData();
    });
    return shared ? bytes : bytes + m_playingPcm.size();
}

PcmPlayer::Sound* PcmPlayer::findCurrent(const QString& path) {
    const QFileInfo file(path);
    for (auto it = m_sounds.begin(); it != m_sounds.end(); ++it) {
        if (it->path != path)
            continue;
        // A file replaced since it was decoded is decoded again.
        if (it->fileSize == file.size() && it->modified == file.lastModified())
            return &*it;
        if (it->state == State::Decoding)
            m_decoder->cancel(it->job);
        m_sounds.erase(it);
        return nullptr;
    }
    return nullptr;
}

PcmPlayer::Sound& PcmPlayer::startDecoding(const QString& path) {
    const QFileInfo file(path);
    Sound sound;
    sound.path = path;
    sound.fileSize = file.size();
    sound.modified = file.lastModified();
    sound.job = ++m_nextJob;
    m_decoder->start(sound.job, path);
    m_sounds.push_back(std::move(sound));
    return m_sounds.back();
}

void PcmPlayer::prepare(const std::string& fullPath) {
    const QString path = QString::fromStdString(fullPath);
    if (!QFileInfo(path).isFile())
        return; // only a hint: playPath reports the missing file
    Sound* sound = findCurrent(path);
    if (!sound)
        sound = &startDecoding(path);
    sound->preparedAt = ++m_prepareCount;
    dropUnneededSounds();
}

void PcmPlayer::playPath(const std::string& fullPath) {
    // Once, at the first sound: the threads started from now on inherit it.
    static const bool raised = raiseProcessPriority();
    (void)raised;

    close();
    m_path = QString::fromStdString(fullPath);
    m_open = true;
    ++m_playback;
    const QFileInfo file(m_path);
    if (!file.isFile() || !file.isReadable()) {
        failLater(QStringLiteral("找不到声音文件: %1").arg(m_path));
        return;
    }
    if (!findCurrent(m_path))
        startDecoding(m_path);
    m_awaiting = true;
    startAwaited();
}

// Plays the awaited sound when its decoding is over; waits otherwise.
void PcmPlayer::startAwaited() {
    Sound* sound = findCurrent(m_path);
    if (!m_awaiting || !sound || sound->state == State::Decoding)
        return;
    m_awaiting = false;
    switch (sound->state) {
    case State::Ready:
        playPcm(*sound);
        dropUnneededSounds(); // a sound that was not prepared is held by the sink alone
        break;
    case State::TooLong:
        playStreaming();
        break;
    default:
        failLater(unplayableText(m_path));
        break;
    }
}

void PcmPlayer::onDecoded(quint64 job, const DecodedSound& decoded) {
    auto it = std::find_if(m_sounds.begin(), m_sounds.end(), [job](const Sound& s) { return s.job == job; });
    if (it == m_sounds.end())
        return; // dropped meanwhile
    it->state = decoded.outcome == DecodedSound::Outcome::Decoded   ? State::Ready
                : decoded.outcome == DecodedSound::Outcome::TooLong ? State::TooLong
                                                                    : State::Unplayable;
    it->pcm = decoded.pcm;
    it->format = decoded.format;
    it->lengthMs = decoded.lengthMs;
    if (m_open && m_awaiting && it->path == m_path)
        startAwaited();
}

void PcmPlayer::playPcm(const Sound& sound) {
    m_playingPcm = sound.pcm;
    m_source = std::make_unique<QBuffer>(&m_playingPcm);
    m_source->open(QIODevice::ReadOnly);
    m_sink = std::make_unique<QAudioSink>(QMediaDevices::defaultAudioOutput(), sound.format);
    connect(m_sink.get(), &QAudioSink::stateChanged, this, &PcmPlayer::onSinkState);
    m_sink->start(m_source.get());
    if (m_sink->error() != QAudio::NoError) {
        // No sound from the sink (the sound server is away or refuses the format): stream instead.
        releaseSink();
        playStreaming();
        return;
    }
    m_lengthMs = sound.lengthMs;
    // Reported from the event loop, as the streaming player does.
    QMetaObject::invokeMethod(
        this,
        [this, playback = m_playback] {
            if (m_open && !m_failed && m_playback == playback)
                emit lengthKnown(m_lengthMs);
        },
        Qt::QueuedConnection);
}

void PcmPlayer::playStreaming() {
    if (!m_streaming) {
        m_streaming = std::make_unique<MciPlayer>();
        connect(m_streaming.get(), &MciPlayer::lengthKnown, this, [this](qint64 ms) {
            if (m_open && m_streamingActive && !m_failed && m_lengthMs == 0) {
                m_lengthMs = ms;
                emit lengthKnown(ms);
            }
        });
        connect(m_streaming.get(), &MciPlayer::failed, this, [this](const QString& reason) {
            if (m_open && m_streamingActive)
                fail(reason);
        });
    }
    m_streamingActive = true;
    m_streaming->playPath(m_path.toStdString());
}

void PcmPlayer::onSinkState() {
    if (!m_sink)
        return;
    if (m_sink->state() == QAudio::StoppedState && m_sink->error() != QAudio::NoError) {
        // The sink goes after its own signal has returned.
        QMetaObject::invokeMethod(
            this, [this, playback = m_playback] { releaseSinkOf(playback); }, Qt::QueuedConnection);
    } else if (m_sink->state() == QAudio::IdleState) {
        // Idle means all bytes went to the sound server, whose buffer still has the sound's last
        // moments to play: stopping now would cut them off.
        const qint64 bufferedMs = m_sink->format().durationForBytes(qint32(m_sink->bufferSize())) / 1000;
        QTimer::singleShot(bufferedMs + kTailMs, this,
                           [this, playback = m_playback] { releaseSinkOf(playback); });
    }
}

void PcmPlayer::releaseSinkOf(unsigned long long playback) {
    if (m_playback == playback && m_sink && m_sink->state() != QAudio::ActiveState)
        releaseSink();
}

void PcmPlayer::releaseSink() {
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->stop();
        m_sink.reset();
    }
    m_source.reset();
    m_playingPcm = QByteArray();
}

void PcmPlayer::close() {
    if (!m_open)
        return;
    m_open = false;
    m_awaiting = false;
    m_failed = false;
    m_lengthMs = 0;
    releaseSink();
    if (m_streamingActive) {
        m_streamingActive = false;
        m_streaming->close();
    }
    dropUnneededSounds();
}

bool PcmPlayer::isPlaying() const {
    if (!m_open)
        return false;
    if (m_streamingActive)
        return m_streaming->isPlaying();
    return m_sink && m_sink->state() == QAudio::ActiveState;
}

// Keeps the latest prepared sounds and the one playPath waits for; the rest goes.
void PcmPlayer::dropUnneededSounds() {
    std::vector<quint64> prepared;
    for (const Sound& sound : m_sounds)
        if (sound.preparedAt > 0)
            prepared.push_back(sound.preparedAt);
    std::sort(prepared.rbegin(), prepared.rend());
    const quint64 oldestKept = prepared.size() > kPreparedKept ? prepared[kPreparedKept - 1] : 1;
    std::erase_if(m_sounds, [&](const Sound& sound) {
        const bool needed = sound.preparedAt >= oldestKept || (m_open && m_awaiting && sound.path == m_path);
        if (!needed && sound.state == State::Decoding)
            m_decoder->cancel(sound.job);
        return !needed;
    });
}

void PcmPlayer::failLater(const QString& reason) {
    QMetaObject::invokeMethod(
        this,
        [this, reason, playback = m_playback] {
            if (m_open && m_playback == playback)
                fail(reason);
        },
        Qt::QueuedConnection);
}

void PcmPlayer::fail(const QString& reason) {
    if (m_failed)
        return;
    m_failed = true;
    m_lengthMs = 0;
    releaseSink();
    if (m_streamingActive)
        m_streaming->close();
    emit failed(reason);
}

} // namespace halvix
