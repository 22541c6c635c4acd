#pragma once

#include "audio/SoundChannel.h"

#include <QByteArray>
#include <QProcess>
#include <QTimer>

#include <memory>

class QAudioSink;
class QIODevice;

namespace halvix {

class StreamPlayer;

// A sound channel for files of any length (playlist tracks, long sounds): the decoding tool
// streams the file's PCM a little ahead of its playing, and a QAudioSink plays it as it comes. The
// program holds a few hundred kB of a track, never the media framework; only when no sink opens
// (the sound server went away since the program started) or the tool cannot be started does a
// StreamPlayer play instead.
class PipePlayer : public SoundChannel {
    Q_OBJECT

public:
    explicit PipePlayer(QObject* parent = nullptr);
    ~PipePlayer() override;

    // `fullPath` is UTF-8 and may hold Chinese characters.
    void playPath(const std::string& fullPath) override;
    bool isPlaying() const override;

protected:
    void stopSound() override;
    void onClosed() override;

private:
    bool openSink();
    void startTool();
    void onToolOutput();
    void onToolFinished(int exitCode, QProcess::ExitStatus status);
    void onStall();
    void feed();
    std::optional<SinkState> sinkState() const override;
    qint64 msUntilHeard() const override;
    bool allHandedOver() const override; // the tool is done and the sink has every byte
    void releaseSink() override;
    void playFallback();

    std::unique_ptr<QProcess> m_tool;
    std::unique_ptr<QAudioSink> m_sink;
    QIODevice* m_sinkInput = nullptr; // the sink's, while it plays
    QByteArray m_pending;             // read from the tool, not yet taken by the sink
    QTimer m_feed;                    // the sink takes more as it plays: offered every few ms
    QTimer m_stall;
    bool m_headerRead = false;
    bool m_toolDone = false;
    qint64 m_soundBytes = 0; // sound read from the tool in this playback

    std::unique_ptr<StreamPlayer> m_fallback;
    bool m_fallbackActive = false;
};

} // namespace halvix
