#include "audio/PipePlayer.h"

#include "audio/DecodeJob.h"
#include "audio/DecodeProtocol.h"
#include "audio/SinkFormat.h"
#include "audio/StreamPlayer.h"

#include <QAudioSink>
#include <QMediaDevices>

#include <algorithm>

namespace halvix {

namespace {

constexpr int kFeedMs = 20;

} // namespace

PipePlayer::PipePlayer(QObject* parent) : SoundChannel(parent) {
    m_feed.setInterval(kFeedMs);
    connect(&m_feed, &QTimer::timeout, this, &PipePlayer::feed);
    m_stall.setSingleShot(true);
    m_stall.setInterval(decodetool::kStallMs);
    connect(&m_stall, &QTimer::timeout, this, &PipePlayer::onStall);
}

PipePlayer::~PipePlayer() {
    releaseSink();
}

void PipePlayer::playPath(const std::string& fullPath) {
    if (!open(fullPath))
        return;
    if (!openSink())
        return playFallback();
    startTool();
}

// The sink first: when it cannot open, the tool is not started at all.
bool PipePlayer::openSink() {
    m_sink = std::make_unique<QAudioSink>(QMediaDevices::defaultAudioOutput(), decodedFormat());
    m_sinkInput = m_sink->start();
    if (!m_sinkInput || m_sink->error() != QAudio::NoError) {
        releaseSink();
        return false;
    }
    connect(m_sink.get(), &QAudioSink::stateChanged, this, &PipePlayer::onSinkState);
    return true;
}

void PipePlayer::startTool() {
    m_headerRead = false;
    m_toolDone = false;
    m_soundBytes = 0;
    m_pending.clear();
    m_tool = std::make_unique<QProcess>();
    connect(m_tool.get(), &QProcess::readyReadStandardOutput, this, &PipePlayer::onToolOutput);
    connect(m_tool.get(), &QProcess::finished, this, &PipePlayer::onToolFinished);
    connect(m_tool.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) { // no tool: the media framework plays the file
            releaseSink();
            playFallback();
        }
    });
    // Before the start: a tool that cannot be started may be reported from inside it.
    m_stall.start();
    m_feed.start();
    startStreamTool(*m_tool, path());
}

void PipePlayer::onToolOutput() {
    if (!m_tool)
        return;
    m_stall.start();
    qint64 announcedMs = 0;
    if (!streamHeaderRead(*m_tool, m_headerRead, announcedMs))
        return;
    announceLength(announcedMs);
    feed();
}

// Hands the sink what it has room for, in whole frames.
void PipePlayer::feed() {
    if (!m_sink || !m_sinkInput || !m_headerRead)
        return;
    const qint64 frameBytes = decodetool::kBytesPerFrame;
    const qint64 room = m_sink->bytesFree();
    if (m_tool && m_pending.size() < room) {
        const QByteArray more = m_tool->read(room - m_pending.size());
        m_soundBytes += more.size();
        m_pending += more;
    }
    const qint64 take = std::min<qint64>(room, m_pending.size()) / frameBytes * frameBytes;
    if (take > 0) {
        const qint64 written = m_sinkInput->write(m_pending.constData(), take);
        if (written > 0)
            m_pending.remove(0, written);
    }
    if (allHandedOver())
        m_feed.stop();
}

std::optional<SoundChannel::SinkState> PipePlayer::sinkState() const {
    return sinkStateOf(m_sink.get());
}

qint64 PipePlayer::msUntilHeard() const {
    return m_sink ? halvix::msUntilHeard(*m_sink) : 0;
}

bool PipePlayer::allHandedOver() const {
    return m_toolDone && m_pending.isEmpty() && (!m_tool || m_tool->bytesAvailable() == 0);
}

void PipePlayer::onToolFinished(int exitCode, QProcess::ExitStatus status) {
    if (!m_tool)
        return;
    onToolOutput();
    m_toolDone = true;
    m_stall.stop();
    // What the sink had no room for yet is still in the process's buffer.
    const qint64 soundBytes = m_soundBytes + m_tool->bytesAvailable();
    if (streamGaveNothing(soundBytes, exitCode, status, m_headerRead))
        return fail(unplayableText());
    // A length the file did not announce is known now.
    announceLength(decodetool::msOfBytes(soundBytes));
    onSinkState(); // the sink may have played all there was before the tool's end was seen
}

void PipePlayer::onStall() {
    if (m_soundBytes == 0)
        return fail(unplayableText());
    // Some sound came, then nothing: what came is played, the rest is given up.
    if (m_tool) {
        m_tool->disconnect(this);
        m_tool->kill();
    }
    m_toolDone = true;
    onSinkState();
}

void PipePlayer::releaseSink() {
    m_feed.stop();
    m_stall.stop();
    endStreamTool(m_tool, this);
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->stop();
        m_sink.reset();
    }
    m_sinkInput = nullptr;
    m_pending = QByteArray();
}

void PipePlayer::playFallback() {
    if (!m_fallback) {
        m_fallback = std::make_unique<StreamPlayer>();
        relayReportsOf(*m_fallback, m_fallbackActive);
    }
    m_fallbackActive = true;
    m_fallback->playPath(path().toStdString());
}

void PipePlayer::stopSound() {
    releaseSink();
    if (m_fallbackActive)
        m_fallback->close();
}

void PipePlayer::onClosed() {
    m_fallbackActive = false;
}

bool PipePlayer::isPlaying() const {
    if (!isOpen())
        return false;
    if (m_fallbackActive)
        return m_fallback->isPlaying();
    return m_sink && m_sink->state() != QAudio::StoppedState;
}

} // namespace halvix
