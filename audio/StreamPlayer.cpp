#include "audio/StreamPlayer.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>

namespace halvix {

namespace {

constexpr int kLengthGraceMs = 500;

} // namespace

StreamPlayer::StreamPlayer(QObject* parent) : SoundChannel(parent) {}

StreamPlayer::~StreamPlayer() {
    if (m_player) {
        m_player->disconnect(this);
        m_player->stop();
        m_player.reset();
    }
}

void StreamPlayer::startPlayer() {
    releasePlayer();
    m_player = std::make_unique<QMediaPlayer>();
    // A child of the player, so that it goes after the player that uses it.
    m_player->setAudioOutput(new QAudioOutput(m_player.get()));
    connect(m_player.get(), &QMediaPlayer::durationChanged, this, [this](qint64 ms) { announceLength(ms); });
    connect(m_player.get(), &QMediaPlayer::mediaStatusChanged, this, &StreamPlayer::onMediaStatusChanged);
    connect(m_player.get(), &QMediaPlayer::errorOccurred, this, &StreamPlayer::onError);
}

void StreamPlayer::releasePlayer() {
    if (!m_player)
        return;
    m_player->disconnect(this);
    m_player->stop();
    // Later, not now: this may run inside one of the player's own signals.
    m_player.release()->deleteLater();
}

void StreamPlayer::playPath(const std::string& fullPath) {
    if (!open(fullPath))
        return;
    // A player of its own for every sound, kept only while it sounds: the connection to the sound
    // server is shared by every player that is alive, and one that outlived its server (stopped,
    // restarted) would keep every later sound from being heard until the program restarts.
    startPlayer();
    m_player->setSource(QUrl::fromLocalFile(path()));
    m_player->play();
}

bool StreamPlayer::isPlaying() const {
    return isOpen() && m_player && m_player->playbackState() == QMediaPlayer::PlayingState;
}

void StreamPlayer::onMediaStatusChanged() {
    if (!isOpen() || !m_player)
        return;
    const auto status = m_player->mediaStatus();
    if (status == QMediaPlayer::EndOfMedia) {
        releasePlayer();
    } else if (status == QMediaPlayer::InvalidMedia) {
        fail(unplayableText());
    } else if (status == QMediaPlayer::LoadedMedia && lengthMs() == 0) {
        // A file that loads without a length (a header without sound) plays nothing and never ends:
        // give the framework a moment to report the length, then call it unplayable.
        QTimer::singleShot(kLengthGraceMs, this, [this, playback = playback()] {
            if (isCurrent(playback) && lengthMs() == 0)
                fail(unplayableText());
        });
    }
}

void StreamPlayer::onError() {
    if (isOpen() && m_player && m_player->error() != QMediaPlayer::NoError)
        fail(unplayableText());
}

} // namespace halvix
