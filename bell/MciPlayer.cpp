#include "bell/MciPlayer.h"

#include "bell/ProcessPriority.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>

namespace halvix {

namespace {

constexpr int kLengthGraceMs = 500;

} // namespace

MciPlayer::MciPlayer(QObject* parent) : QObject(parent) {}

MciPlayer::~MciPlayer() {
    if (m_player) {
        m_player->disconnect(this);
        m_player->stop();
        m_player.reset();
    }
}

void MciPlayer::startPlayer() {
    releasePlayer();
    m_player = std::make_unique<QMediaPlayer>();
    // A child of the player, so that it goes after the player that uses it.
    m_player->setAudioOutput(new QAudioOutput(m_player.get()));
    connect(m_player.get(), &QMediaPlayer::durationChanged, this, &MciPlayer::onDurationChanged);
    connect(m_player.get(), &QMediaPlayer::mediaStatusChanged, this, &MciPlayer::onMediaStatusChanged);
    connect(m_player.get(), &QMediaPlayer::errorOccurred, this, &MciPlayer::onError);
}

void MciPlayer::releasePlayer() {
    if (!m_player)
        return;
    m_player->disconnect(this);
    m_player->stop();
    // Later, not now: this may run inside one of the player's own signals.
    m_player.release()->deleteLater();
}

void MciPlayer::playPath(const std::string& fullPath) {
    // Once, at the first sound: the threads the media framework starts from now on inherit it.
    static const bool raised = raiseProcessPriority();
    (void)raised;

    close();
    m_path = QString::fromStdString(fullPath);
    m_open = true;
    const auto playback = ++m_playback;
    const QFileInfo file(m_path);
    if (!file.isFile() || !file.isReadable()) {
        // Reported from the event loop, like every other failure of a playback.
        QMetaObject::invokeMethod(
            this,
            [this, playback] {
                if (m_open && m_playback == playback)
                    fail(QStringLiteral("找不到声音文件: %1").arg(m_path));
            },
            Qt::QueuedConnection);
        return;
    }
    // A player of its own for every sound, kept only while it sounds: the connection to the sound
    // server is shared by every player that is alive, and one that outlived its server (stopped,
    // restarted) would keep every later sound from being heard until the program restarts.
    startPlayer();
    m_player->setSource(QUrl::fromLocalFile(m_path));
    m_player->play();
}

void MciPlayer::close() {
    if (!m_open)
        return;
    m_open = false;
    m_failed = false;
    m_lengthMs = 0;
    releasePlayer();
}

bool MciPlayer::isPlaying() const {
    return m_open && m_player && m_player->playbackState() == QMediaPlayer::PlayingState;
}

void MciPlayer::onDurationChanged(qint64 ms) {
    if (!m_open || m_failed || ms <= 0 || m_lengthMs > 0)
        return;
    m_lengthMs = ms;
    emit lengthKnown(ms);
}

void MciPlayer::onMediaStatusChanged() {
    if (!m_open || !m_player)
        return;
    const auto status = m_player->mediaStatus();
    if (status == QMediaPlayer::EndOfMedia) {
        releasePlayer();
    } else if (status == QMediaPlayer::InvalidMedia) {
        fail(QStringLiteral("无法播放声音文件: %1").arg(m_path));
    } else if (status == QMediaPlayer::LoadedMedia && m_lengthMs == 0) {
        // A file that loads without a length (a header without sound) plays nothing and never ends:
        // give the framework a moment to report the length, then call it unplayable.
        QTimer::singleShot(kLengthGraceMs, this, [this, playback = m_playback] {
            if (m_open && m_playback == playback && m_lengthMs == 0)
                fail(QStringLiteral("无法播放声音文件: %1").arg(m_path));
        });
    }
}

void MciPlayer::onError() {
    if (m_open && m_player && m_player->error() != QMediaPlayer::NoError)
        fail(QStringLiteral("无法播放声音文件: %1").arg(m_path));
}

void MciPlayer::fail(const QString& reason) {
    if (m_failed)
        return;
    m_failed = true;
    m_lengthMs = 0;
    releasePlayer();
    emit failed(reason);
}

} // namespace halvix
