#include "audio/DecodeJob.h"

#include "audio/DecodeProtocol.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <utility>

namespace halvix {

QString DecodeJob::toolPath() {
    // Beside the program in a portable folder; in the package's private folder when installed.
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/halvix-decode");
    if (QFileInfo(beside).isExecutable())
        return beside;
    const QString installed =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../lib/halvix/halvix-decode");
    if (QFileInfo(installed).isExecutable())
        return QFileInfo(installed).canonicalFilePath();
#ifdef HALVIX_DECODE_TOOL
    return QStringLiteral(HALVIX_DECODE_TOOL);
#else
    return beside;
#endif
}

DecodeJob::DecodeJob(const QString& path, Done done) : m_done(std::move(done)) {
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process, [this] { takeOutput(); });
    QObject::connect(&m_process, &QProcess::finished, &m_process,
                     [this](int code, QProcess::ExitStatus status) { onFinished(code, status); });
    QObject::connect(&m_process, &QProcess::errorOccurred, &m_process, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) // no tool: the streaming player still plays the file
            end(DecodedSound::Outcome::TooLong);
    });
    m_stall.setSingleShot(true);
    m_stall.setInterval(decodetool::kStallMs);
    QObject::connect(&m_stall, &QTimer::timeout, &m_process, [this] { onStall(); });
    m_stall.start();
    m_process.start(toolPath(), {path, QString::number(kMaxDecodedBytes)}, QIODevice::ReadOnly);
}

DecodeJob::~DecodeJob() {
    m_process.disconnect();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

void DecodeJob::takeOutput() {
    if (m_ended)
        return;
    m_stall.start();
    m_sound.pcm += m_process.readAllStandardOutput();
    if (m_sound.pcm.size() > kMaxDecodedBytes) // the tool keeps its bound; this guards the program
        end(DecodedSound::Outcome::TooLong);
}

void DecodeJob::onFinished(int exitCode, QProcess::ExitStatus status) {
    if (m_ended)
        return;
    m_sound.pcm += m_process.readAllStandardOutput();
    if (status == QProcess::NormalExit && exitCode == decodetool::kTooLong)
        return end(DecodedSound::Outcome::TooLong);
    if (status != QProcess::NormalExit || exitCode != decodetool::kDecoded)
        return end(DecodedSound::Outcome::Unplayable);
    if (m_sound.pcm.size() < decodetool::kBytesPerFrame)
        return end(DecodedSound::Outcome::Unplayable);
    m_sound.lengthMs = decodetool::msOfBytes(m_sound.pcm.size());
    end(DecodedSound::Outcome::Decoded);
}

// Without sound so far the file is unplayable; with some, the streaming player judges the rest.
void DecodeJob::onStall() {
    end(m_sound.pcm.isEmpty() ? DecodedSound::Outcome::Unplayable : DecodedSound::Outcome::TooLong);
}

void DecodeJob::end(DecodedSound::Outcome outcome) {
    if (m_ended)
        return;
    m_ended = true;
    m_stall.stop();
    if (m_process.state() != QProcess::NotRunning)
        m_process.kill();
    m_sound.outcome = outcome;
    if (outcome != DecodedSound::Outcome::Decoded)
        m_sound = DecodedSound{outcome, {}, 0};
    m_sound.mono = foldIdenticalChannels(m_sound.pcm);
    m_sound.pcm.squeeze(); // the buffer grew by doubling; a bell is held for hours
    m_done(std::move(m_sound));
}

} // namespace halvix

namespace halvix {

void startStreamTool(QProcess& tool, const QString& path) {
    tool.setStandardErrorFile(QProcess::nullDevice());
    tool.start(DecodeJob::toolPath(), {QString::fromLatin1(decodetool::kStreamOption), path},
               QIODevice::ReadOnly);
}

bool streamHeaderRead(QProcess& tool, bool& headerRead, qint64& announcedMs) {
    announcedMs = 0;
    if (headerRead)
        return true;
    if (!tool.canReadLine())
        return false;
    headerRead = true;
    announcedMs = std::max<qint64>(0, tool.readLine().trimmed().toLongLong());
    return true;
}

bool streamGaveNothing(qint64 soundBytes, int exitCode, QProcess::ExitStatus status, bool headerRead) {
    return soundBytes == 0 &&
           (status != QProcess::NormalExit || exitCode == decodetool::kUnplayable || !headerRead);
}

void endStreamTool(std::unique_ptr<QProcess>& tool, QObject* receiver) {
    if (!tool)
        return;
    tool->disconnect(receiver);
    tool->kill();
    tool->waitForFinished(200); // a killed tool ends at once; reaped here, not left behind
    tool.release()->deleteLater();
}

bool foldIdenticalChannels(QByteArray& stereo) {
    constexpr qsizetype kSample = decodetool::kBytesPerFrame / decodetool::kChannels;
    const char* data = stereo.constData();
    const qsizetype frames = stereo.size() / decodetool::kBytesPerFrame;
    if (frames == 0 || stereo.size() % decodetool::kBytesPerFrame != 0)
        return false;
    for (qsizetype f = 0; f < frames; ++f) {
        const char* frame = data + f * decodetool::kBytesPerFrame;
        if (std::memcmp(frame, frame + kSample, kSample) != 0)
            return false;
    }
    QByteArray mono(frames * kSample, Qt::Uninitialized);
    for (qsizetype f = 0; f < frames; ++f)
        std::memcpy(mono.data() + f * kSample, data + f * decodetool::kBytesPerFrame, kSample);
    stereo = std::move(mono);
    return true;
}

void appendAsStereo(QByteArray& out, const char* mono, qsizetype count) {
    constexpr qsizetype kSample = decodetool::kBytesPerFrame / decodetool::kChannels;
    out.reserve(out.size() + count * decodetool::kChannels);
    for (qsizetype at = 0; at + kSample <= count; at += kSample)
        for (int channel = 0; channel < decodetool::kChannels; ++channel)
            out.append(mono + at, kSample);
}

} // namespace halvix
