#include "audio/PulsePlayer.h"

#include "audio/DecodeJob.h"
#include "audio/DecodeProtocol.h"

#include <QMetaObject>

namespace halvix {

namespace {

// The output's report, brought to the channel's thread, where a report of an earlier playback is
// dropped.
PulseOutput::Ended reportTo(SoundChannel* channel, std::function<void(unsigned long long, QString)> onEnded) {
    return [channel, onEnded = std::move(onEnded)](unsigned long long playback, const std::string& error) {
        QMetaObject::invokeMethod(
            channel, [onEnded, playback, text = QString::fromStdString(error)] { onEnded(playback, text); },
            Qt::QueuedConnection);
    };
}

} // namespace

PulseBellPlayer::PulseBellPlayer(QObject* parent)
    : DecodingPlayer(parent),
      m_output(reportTo(this, [this](unsigned long long playback, const QString& error) {
          if (!isCurrent(playback) || !m_sounding)
              return;
          m_sounding = false;
          m_playingPcm = QByteArray();
          if (!error.isEmpty())
              fail(error);
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
    : SoundChannel(parent),
      m_output(reportTo(this, [this](unsigned long long playback, const QString& error) {
          if (!isCurrent(playback) || !m_sounding)
              return;
          m_sounding = false;
          if (!error.isEmpty())
              fail(error);
      })) {
    m_stall.setSingleShot(true);
    m_stall.setInterval(decodetool::kStallMs);
    connect(&m_stall, &QTimer::timeout, this, &PulseStreamPlayer::onStall);
}

PulseStreamPlayer::~PulseStreamPlayer() {
    endTool();
}

void PulseStreamPlayer::playPath(const std::string& fullPath) {
    if (!open(fullPath))
        return;
    m_headerRead = false;
    m_soundBytes = 0;
    m_sounding = true;
    m_output.stream(playback());
    m_tool = std::make_unique<QProcess>();
    connect(m_tool.get(), &QProcess::readyReadStandardOutput, this, &PulseStreamPlayer::onToolOutput);
    connect(m_tool.get(), &QProcess::finished, this, &PulseStreamPlayer::onToolFinished);
    connect(m_tool.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            fail(QStringLiteral("无法启动解码程序: %1").arg(DecodeJob::toolPath()));
    });
    m_stall.start();
    startStreamTool(*m_tool, path());
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
        return fail(unplayableText());
    // A length the file did not announce is known now.
    announceLength(decodetool::msOfBytes(m_soundBytes));
    m_output.finish();
}

void PulseStreamPlayer::onStall() {
    if (m_soundBytes == 0)
        return fail(unplayableText());
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
    return {std::make_unique<PulseBellPlayer>(), std::make_unique<PulseStreamPlayer>()};
}

} // namespace halvix
