#pragma once

#include "audio/DecodingPlayer.h"
#include "audio/PulseOutput.h"

#include <QProcess>
#include <QTimer>

#include <memory>

namespace halvix {

// Bells played from memory on the sound server's own client library: what both programs ring on.
// Long files are streamed by a PulseStreamPlayer.
class PulseBellPlayer final : public DecodingPlayer {
    Q_OBJECT

public:
    explicit PulseBellPlayer(QObject* parent = nullptr);
    ~PulseBellPlayer() override;

protected:
    bool startPcm(bool loop) override;
    void stopPcm() override;
    bool pcmPlaying() const override { return m_sounding; }
    bool pcmStarted() const override { return m_sounding; }
    std::unique_ptr<SoundChannel> makeStreamer() override;

private:
    bool m_sounding = false;
    PulseOutput m_output; // last: its thread ends before the rest goes
};

// A file of any length streamed by the decoding tool, a little ahead of its playing, to the sound
// server: the program holds a few hundred kB of a track at most.
class PulseStreamPlayer final : public SoundChannel {
    Q_OBJECT

public:
    explicit PulseStreamPlayer(QObject* parent = nullptr);
    ~PulseStreamPlayer() override;

    // `fullPath` is UTF-8 and may hold Chinese characters.
    unsigned long long playPath(const std::string& fullPath) override;
    bool isPlaying() const override { return isOpen() && m_sounding; }

protected:
    void stopSound() override;

private:
    void onToolOutput();
    void onToolFinished(int exitCode, QProcess::ExitStatus status);
    void onStall();
    void endTool();

    std::unique_ptr<QProcess> m_tool;
    QTimer m_stall;
    bool m_headerRead = false;
    bool m_sounding = false;
    qint64 m_soundBytes = 0; // sound read from the tool in this playback
    PulseOutput m_output;    // last: its thread ends before the rest goes
};

// The players of both programs: no media framework, no window library.
BellPlayers pulsePlayers();

} // namespace halvix
