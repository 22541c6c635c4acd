#include "audio/PulsePlayer.h"

#include "audio/DecodeJob.h"
#include "audio/DecodeProtocol.h"

#include <QMetaObject>

namespace halvix {

namespace {

// The output's reports, brought to the channel's thread, where a report of an earlier playback is
// dropped.
PulseOutput::Reports reportTo(SoundChannel* channel, std::function<void(const QString&)> onStarted,
                              std::function<void(std::optional<SoundFault>, const QString&)> onEnded) {
    return {[channel, onStarted](unsigned long long playback, const std::string& silencedBy) {
                QMetaObject::invokeMethod(
                    channel,
                    [channel, onStarted, playback, text = QString::fromStdString(silencedBy)] {
                        if (channel->playback() == playback)
                            onStarted(text);
                    },
                    Qt::QueuedConnection);
            },
            [channel, onEnded](unsigned long long playback, std::optional<SoundFault> fault,
                               const std::string& reason) {
                QMetaObject::invokeMethod(
                    channel,
                    [channel, onEnded, playback, fault, text = QString::fromStdString(reason)] {
                        if (channel->playback() == playback)
                            onEnded(fault, text);
                    },
                    Qt::QueuedConnection);
            }};
}

} // namespace

PulseBellPlayer::PulseBellPlayer(QObject* parent)
    : DecodingPlayer(parent), m_output(reportTo(
                                  this, [this](const QString& silencedBy) { reportStarted(silencedBy); },
                                  [this](std::optional<SoundFault> fault, const QString& reason) {
                                      if (!isOpen() || !m_sounding)
                                          return;
                                      m_sounding = false;
                                      m_playingPcm = QByteArray();
                                      if (fault)
                                          fail(*fault, reason);
                                      else
                                          playedToTheEnd();
                                  })) {}

PulseBellPlayer::~PulseBellPlayer() {
    stopDecoding();
}

bool PulseBellPlayer::startPcm(bool loop) {
    m_output.play(playback(), m_playingPcm, loop, m_playingMono);
    m_sounding = true;
    return true;
}

void PulseBellPlayer::stopPcm() {
    if (std::exchange(m_sounding, false))
        m_output.stop();
    m_playingPcm = QByteArray();
}

std::unique_ptr<SoundChannel> PulseBellPlayer::makeStreamer() {
    return std::make_unique<PulseStreamPlayer>();
}

PulseStreamPlayer::PulseStreamPlayer(QObject* parent)
    : SoundChannel(parent), m_output(reportTo(
                                this, [this](const QString& silencedBy) { reportStarted(silencedBy); },
                                [this](std::optional<SoundFault> fault, const QString& reason) {
                                    if (!isOpen() || !m_sounding)
                                        return;
                                    m_sounding = false;
                                    if (fault)
                                        fail(*fault, reason);
                                })) {
    m_stall.setSingleShot(true);
    m_stall.setInterval(decodetool::kStallMs);
    connect(&m_stall, &QTimer::timeout, this, &PulseStreamPlayer::onStall);
}

PulseStreamPlayer::~PulseStreamPlayer() {
    endTool();
}

unsigned long long PulseStreamPlayer::playPath(const std::string& fullPath) {
    if (!open(fullPath))
        return playback();
    m_headerRead = false;
    m_soundBytes = 0;
    m_sounding = true;
    m_output.stream(playback());
    m_tool = std::make_unique<QProcess>();
    connect(m_tool.get(), &QProcess::readyReadStandardOutput, this, &PulseStreamPlayer::onToolOutput);
    connect(m_tool.get(), &QProcess::finished, this, &PulseStreamPlayer::onToolFinished);
    connect(m_tool.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            fail(SoundFault::Unplayable, QStringLiteral("无法启动解码程序: %1").arg(DecodeJob::toolPath()));
    });
    m_stall.start();
    startStreamTool(*m_tool, path());
    return playback();
}

void PulseStreamPlayer::onToolOutput() {
    if (!m_tool)
        return;
    m_stall.start();
    qint64 announcedMs = 0;
    if (!streamHeaderRead(*m_tool, m_headerRead, announcedMs))
        return;
    announceLength(announcedMs);
    QByteArray sound = m_tool->readAll();
    // readAll leaves room for a further 16 kB read in every piece; a stream's two seconds ahead
    // come in a hundred pieces of a few kB, which would hold five times their size.
    sound.squeeze();
    m_soundBytes += sound.size();
    if (!sound.isEmpty())
        m_output.append(std::move(sound));
}

void PulseStreamPlayer::onToolFinished(int exitCode, QProcess::ExitStatus status) {
    if (!m_tool)
        return;
    onToolOutput();
    endTool();
    if (streamGaveNothing(m_soundBytes, exitCode, status, m_headerRead))
        return fail(SoundFault::Unplayable, unplayableText());
    // A length the file did not announce is known now.
    announceLength(decodetool::msOfBytes(m_soundBytes));
    m_output.finish();
}

void PulseStreamPlayer::onStall() {
    if (m_soundBytes == 0)
        return fail(SoundFault::Unplayable, unplayableText());
    // Some sound came, then nothing: what came is played, the rest is given up.
    endTool();
    m_output.finish();
}

void PulseStreamPlayer::endTool() {
    m_stall.stop();
    endStreamTool(m_tool, this);
}

void PulseStreamPlayer::stopSound() {
    endTool();
    if (std::exchange(m_sounding, false))
        m_output.stop();
}

BellPlayers pulsePlayers() {
    return {std::make_unique<PulseBellPlayer>(), std::make_unique<PulseStreamPlayer>(),
            PulseServer::shared()};
}

} // namespace halvix
