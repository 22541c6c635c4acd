#pragma once

#include "audio/SoundCache.h"
#include "audio/SoundChannel.h"

#include <QByteArray>

#include <memory>

class QAudioSink;
class QIODevice;

namespace halvix {

class SoundDecoder;
class PipePlayer;

// A sound channel that plays decoded sound from memory through a QAudioSink, so it is heard as soon
// as playPath is called. A prepared file is decoded ahead on a worker thread; a file that was not
// prepared is decoded first and then played. Files whose sound would take more than
// kMaxDecodedBytes, and sound the sink cannot start, are streamed by a PipePlayer instead.
class MemoryPlayer : public SoundChannel {
    Q_OBJECT

public:
    explicit MemoryPlayer(QObject* parent = nullptr);
    ~MemoryPlayer() override;

    // `fullPath` is UTF-8 and may hold Chinese characters.
    void prepare(const std::string& fullPath) override;
    void playPath(const std::string& fullPath) override;
    // Plays `fullPath` again and again without a gap, decoded once, until the next playPath or
    // close. A file too long to hold decoded streams once; its owner starts it again.
    void playLoop(const std::string& fullPath);
    bool isPlaying() const override;
    // A loop begun with playLoop that still sounds from memory or still waits for its decoding: it
    // never ends by itself, so its owner must not start it again (that would cut it).
    bool isLooping() const;
    // Bytes of decoded sound held (prepared and playing), for checks of the memory bound.
    qsizetype decodedBytes() const;

protected:
    void stopSound() override;
    void onClosed() override;

private:
    void startPlaying(const std::string& fullPath);
    const SoundCache::Entry* findCurrent(const QString& path);
    void startDecoding(const QString& path);
    void onDecoded(quint64 job, const DecodedSound& decoded);
    void startAwaited();
    void playPcm(const SoundCache::Entry& sound);
    void playStreaming();
    const QAudioSink* playingSink() const override { return m_sink.get(); }
    void releaseSink() override;
    void trimCache();

    std::unique_ptr<SoundDecoder> m_decoder;
    SoundCache m_cache;
    bool m_awaiting = false; // playPath waits for its sound's decoding
    bool m_looping = false;  // the playback began with playLoop

    QByteArray m_playingPcm;
    std::unique_ptr<QIODevice> m_source;
    std::unique_ptr<QAudioSink> m_sink;
    std::unique_ptr<PipePlayer> m_streaming; // long files, and sound the audio sink could not start
    bool m_streamingActive = false;
};

} // namespace halvix
