#pragma once

#include "bell/SoundPlayer.h"

#include <QAudioFormat>
#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class QAudioSink;
class QBuffer;

namespace halvix {

class MciPlayer;
class PcmDecoder;
struct DecodedSound;

// One playback channel that plays decoded sound from memory, so it is heard as soon as playPath is
// called. A prepared file is decoded ahead on a worker thread; a file that was not prepared is
// decoded first and then played. Files whose sound would take more than kMaxDecodedBytes are
// streamed by an MciPlayer instead. Same signals as MciPlayer: the length once per playPath, a
// file that cannot be played reported with failed, never thrown.
class PcmPlayer : public QObject, public SoundPlayer {
    Q_OBJECT

public:
    // About 47 s of 16-bit stereo at 44.1 kHz: any bell, and the memory a few of them take.
    static constexpr qsizetype kMaxDecodedBytes = 8 * 1024 * 1024;
    // Sounds kept decoded beyond the playing one: the armed entry's, and the one armed before it,
    // which the bell arms its successor ahead of playing.
    static constexpr std::size_t kPreparedKept = 2;

    explicit PcmPlayer(QObject* parent = nullptr);
    ~PcmPlayer() override;

    // `fullPath` is UTF-8 and may hold Chinese characters.
    void prepare(const std::string& fullPath) override;
    void playPath(const std::string& fullPath) override;
    void close() override;
    long long lengthMs() const override { return m_lengthMs; }
    bool isPlaying() const;
    // Bytes of decoded sound held (prepared and playing), for checks of the memory bound.
    qsizetype decodedBytes() const;

signals:
    // Once per playPath, when the sound's length is known.
    void lengthKnown(qint64 ms);
    // Once per playPath, when the sound cannot be played; `reason` is a short Chinese text.
    void failed(const QString& reason);

private:
    enum class State { Decoding, Ready, Unplayable, TooLong };
    struct Sound {
        QString path;
        qint64 fileSize = -1;
        QDateTime modified;
        State state = State::Decoding;
        quint64 job = 0;
        QByteArray pcm;
        QAudioFormat format;
        qint64 lengthMs = 0;
        quint64 preparedAt = 0; // order of the latest prepare; 0 when never prepared
    };

    Sound* findCurrent(const QString& path);
    Sound& startDecoding(const QString& path);
    void onDecoded(quint64 job, const DecodedSound& decoded);
    void startAwaited();
    void playPcm(const Sound& sound);
    void playStreaming();
    void onSinkState();
    void releaseSinkOf(unsigned long long playback);
    void releaseSink();
    void dropUnneededSounds();
    void failLater(const QString& reason);
    void fail(const QString& reason);

    std::unique_ptr<PcmDecoder> m_decoder;
    std::vector<Sound> m_sounds;
    quint64 m_nextJob = 0;
    quint64 m_prepareCount = 0;

    QString m_path; // the path of the latest playPath while open
    bool m_open = false;
    bool m_awaiting = false; // playPath waits for its sound's decoding
    bool m_failed = false;
    unsigned long long m_playback = 0; // counts playPath calls, so a late report of an earlier one is ignored
    long long m_lengthMs = 0;

    QByteArray m_playingPcm;
    std::unique_ptr<QBuffer> m_source;
    std::unique_ptr<QAudioSink> m_sink;
    std::unique_ptr<MciPlayer> m_streaming; // long files, and sound the audio sink could not start
    bool m_streamingActive = false;
};

} // namespace halvix
