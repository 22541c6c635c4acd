#pragma once

#include "audio/SoundChannel.h"

#include <memory>

class QMediaPlayer;

namespace halvix {

// A sound channel on the media framework (QMediaPlayer + QAudioOutput): opens a file by full path
// and streams it without waiting; the length becomes known a little later. The pipe player's
// fallback, for when no audio sink opens in this process or the decoding tool cannot be started;
// it loads the framework's decoder plugins (some 45 MiB) the first time it plays.
class StreamPlayer : public SoundChannel {
    Q_OBJECT

public:
    explicit StreamPlayer(QObject* parent = nullptr);
    ~StreamPlayer() override;

    // `fullPath` is UTF-8 and may hold Chinese characters.
    void playPath(const std::string& fullPath) override;
    bool isPlaying() const override;

protected:
    void stopSound() override { releasePlayer(); }

private:
    void startPlayer();
    void releasePlayer();
    void onMediaStatusChanged();
    void onError();

    std::unique_ptr<QMediaPlayer> m_player;
};

} // namespace halvix
