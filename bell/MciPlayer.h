#pragma once

#include "bell/SoundPlayer.h"

#include <QObject>
#include <QString>

#include <memory>

class QMediaPlayer;

namespace halvix {

// One playback channel on the media framework. Opens a file by full path and plays it without
// waiting; the length becomes known a little later and is announced with lengthKnown. A file that
// cannot be played (missing, empty, damaged, not audio) is announced with failed, never thrown.
class MciPlayer : public QObject, public SoundPlayer {
    Q_OBJECT

public:
    explicit MciPlayer(QObject* parent = nullptr);
    ~MciPlayer() override;

    // `fullPath` is UTF-8 and may hold Chinese characters.
    void playPath(const std::string& fullPath) override;
    void close() override;
    long long lengthMs() const override { return m_lengthMs; }
    bool isPlaying() const;

signals:
    // Once per playPath, when the media's duration is known.
    void lengthKnown(qint64 ms);
    // Once per playPath, when the media cannot be played; `reason` is a short Chinese text.
    void failed(const QString& reason);

private:
    void startPlayer();
    void releasePlayer();
    void onDurationChanged(qint64 ms);
    void onMediaStatusChanged();
    void onError();
    void fail(const QString& reason);

    std::unique_ptr<QMediaPlayer> m_player;
    QString m_path;
    unsigned long long m_playback = 0; // counts playPath calls, so a late report of an earlier one is ignored
    long long m_lengthMs = 0;
    bool m_open = false;
    bool m_failed = false;
};

} // namespace halvix
