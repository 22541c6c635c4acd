#pragma once

#include "audio/SoundCache.h"
#include "audio/SoundChannel.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>

#include <memory>

namespace halvix {

class SoundDecoder;

// A sound channel that plays decoded sound from memory, so it is heard as soon as playPath is
// called. A prepared file is decoded ahead on a worker thread; a file that was not prepared is
// decoded first and then played. Files whose sound would take more than kMaxDecodedBytes, and
// sound the output cannot start, are streamed by the channel makeStreamer gives. The output itself
// (an audio sink, the sound server's client) is the subclass's.
class DecodingPlayer : public SoundChannel {
    Q_OBJECT

public:
    ~DecodingPlayer() override;

    // `fullPath` is UTF-8 and may hold Chinese characters. In the player's first kStartQuietMs
    // the window's first paint comes first: what is prepared then is prepared once they are over
    // (a sound played meanwhile is decoded when it is played).
    void prepare(const std::string& fullPath) override;
    static constexpr int kStartQuietMs = 500;
    unsigned long long playPath(const std::string& fullPath) override;
    // Decoded once and looped without a gap; a file too long to hold decoded streams once.
    void playLoop(const std::string& fullPath) override;
    bool isPlaying() const override;
    bool isLooping() const override;
    // Bytes of decoded sound held (prepared and playing), for checks of the memory bound.
    qsizetype decodedBytes() const;

protected:
    explicit DecodingPlayer(QObject* parent);

    // Starts `m_playingPcm` on the output, once or round and round; false when the output cannot
    // (the file is then streamed). Its length is announced by the caller.
    virtual bool startPcm(bool loop) = 0;
    // Stops the output and lets `m_playingPcm` go.
    virtual void stopPcm() = 0;
    // The output sounds now; it was started and has not stopped (a loop's moment of underrun is
    // not a stop).
    virtual bool pcmPlaying() const = 0;
    virtual bool pcmStarted() const = 0;
    virtual std::unique_ptr<SoundChannel> makeStreamer() = 0;

    // Ends the decoding before the subclass's members go.
    void stopDecoding();
    // A sound played once has been heard to its end: only the latest prepared one stays decoded
    // (the bell has armed its next entry by then).
    void playedToTheEnd();
    void stopSound() override;
    void onClosed() override;

    QByteArray m_playingPcm;
    bool m_playingMono = false; // m_playingPcm holds one channel

private:
    void prepareNow(const std::string& fullPath);
    void startPlaying(const std::string& fullPath);
    const SoundCache::Entry* findCurrent(const QString& path);
    void startDecoding(const QString& path);
    void onDecoded(quint64 job, const DecodedSound& decoded);
    void startAwaited();
    void playPcm(const SoundCache::Entry& sound);
    void playStreaming();
    void trimCache();

    std::unique_ptr<SoundDecoder> m_decoder;
    SoundCache m_cache;
    bool m_awaiting = false; // playPath waits for its sound's decoding
    bool m_looping = false;  // the playback began with playLoop

    QElapsedTimer m_age;
    QTimer m_startQuiet;
    std::string m_preparedAfterQuiet;

    std::unique_ptr<SoundChannel> m_streaming; // long files, and sound the output could not start
    bool m_streamingActive = false;
};

} // namespace halvix
