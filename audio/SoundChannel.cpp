#include "audio/SoundChannel.h"

#include <QFileInfo>
#include <QMetaObject>

#include <utility>

namespace halvix {

SoundChannel::SoundChannel(QObject* parent) : QObject(parent) {}

bool SoundChannel::open(const std::string& fullPath) {
    close();
    m_path = QString::fromStdString(fullPath);
    m_open = true;
    m_started = false;
    ++m_playback;
    const QFileInfo file(m_path);
    if (!file.isFile() || !file.isReadable()) {
        failLater(SoundFault::Missing, QStringLiteral("找不到声音文件: %1").arg(m_path));
        return false;
    }
    return true;
}

void SoundChannel::close() {
    if (!m_open)
        return;
    m_open = false;
    m_failed = false;
    m_lengthMs = 0;
    stopSound();
    onClosed();
}

void SoundChannel::announceLength(qint64 ms) {
    if (!m_open || m_failed || ms <= 0 || m_lengthMs > 0)
        return;
    m_lengthMs = ms;
    emit lengthKnown(ms);
}

void SoundChannel::announceLengthLater(qint64 ms) {
    m_lengthMs = ms;
    QMetaObject::invokeMethod(
        this,
        [this, playback = m_playback] {
            if (isCurrent(playback) && !m_failed)
                emit lengthKnown(m_lengthMs);
        },
        Qt::QueuedConnection);
}

void SoundChannel::reportStarted(const QString& silencedBy) {
    if (!m_open || m_failed || std::exchange(m_started, true))
        return;
    emit started(m_playback, silencedBy);
}

void SoundChannel::fail(SoundFault fault, const QString& reason) {
    if (m_failed)
        return;
    m_failed = true;
    m_lengthMs = 0;
    stopSound();
    // A sound heard, then lost, was cut off whatever the player saw.
    emit failed(m_playback, m_started && fault != SoundFault::CutOff ? SoundFault::CutOff : fault, reason);
}

void SoundChannel::failLater(SoundFault fault, const QString& reason) {
    QMetaObject::invokeMethod(
        this,
        [this, fault, reason, playback = m_playback] {
            if (isCurrent(playback))
                fail(fault, reason);
        },
        Qt::QueuedConnection);
}

void SoundChannel::relayReportsOf(SoundChannel& inner, const bool& handedOver) {
    connect(&inner, &SoundChannel::lengthKnown, this, [this, &handedOver](qint64 ms) {
        if (handedOver)
            announceLength(ms);
    });
    connect(&inner, &SoundChannel::started, this, [this, &handedOver](qulonglong, const QString& silencedBy) {
        if (isOpen() && handedOver)
            reportStarted(silencedBy);
    });
    connect(&inner, &SoundChannel::failed, this,
            [this, &handedOver](qulonglong, SoundFault fault, const QString& reason) {
                if (isOpen() && handedOver)
                    fail(fault, reason);
            });
}

QString SoundChannel::unplayableText() const {
    return QStringLiteral("无法播放声音文件: %1").arg(m_path);
}

} // namespace halvix
