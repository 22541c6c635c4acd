#pragma once

#include "bell/SoundPlayer.h"

#include <QObject>
#include <QString>

#include <memory>

namespace halvix {

// What every player shares: one playback at a time, its length once known, whether it was heard,
// and one way to fail. Reports belong to the playPath that caused them: a late report of an earlier
// playback is dropped. A failure is reported once, with a short Chinese text, and ends what sounds;
// never thrown.
class SoundChannel : public QObject, public SoundPlayer {
    Q_OBJECT

public:
    void close() override;
    long long lengthMs() const override { return m_lengthMs; }
    virtual bool isPlaying() const = 0;
    // Plays `fullPath` again and again without a gap until the next playPath or close. A channel
    // that cannot loop plays it once; its owner starts it again.
    virtual void playLoop(const std::string& fullPath) { playPath(fullPath); }
    // A loop that still sounds or still waits for its sound: it never ends by itself, so its owner
    // must not start it again (that would cut it).
    virtual bool isLooping() const { return false; }
    // The number of the latest playPath.
    unsigned long long playback() const { return m_playback; }

signals:
    // Once per playPath, when the sound's length is known.
    void lengthKnown(qint64 ms);
    // Once per playPath, when the sound server has begun to play it: `silencedBy` non-empty when it
    // plays muted or at volume zero, so nobody hears it.
    void started(qulonglong playback, const QString& silencedBy);
    // Once per playPath, when the sound cannot be played or, started, is cut off; `reason` is a
    // short Chinese text.
    void failed(qulonglong playback, halvix::SoundFault fault, const QString& reason);

protected:
    explicit SoundChannel(QObject* parent);

    // Closes the previous playback and opens `fullPath` (UTF-8) as the next one. False when the file
    // cannot be read: the failure is then reported from the event loop, like every other failure.
    bool open(const std::string& fullPath);
    // The first positive length of the open playback is kept and announced; later ones are ignored.
    void announceLength(qint64 ms);
    // Keeps `ms` now and announces it from the event loop, unless the playback is over by then.
    void announceLengthLater(qint64 ms);
    // Reports that the open playback is heard, once.
    void reportStarted(const QString& silencedBy);
    // Reports the failure of the open playback once and stops its sound.
    void fail(SoundFault fault, const QString& reason);
    // The same, from the event loop, so that playPath never reports before it returns.
    void failLater(SoundFault fault, const QString& reason);
    QString unplayableText() const;
    // Reports `inner` (a channel this one hands its playback to) as this channel's own while
    // `handedOver`, a member of this channel, is true.
    void relayReportsOf(SoundChannel& inner, const bool& handedOver);

    bool isOpen() const { return m_open; }
    const QString& path() const { return m_path; }
    // True while `playback` is the open one.
    bool isCurrent(unsigned long long playback) const { return m_open && m_playback == playback; }

    // Stops and releases whatever sounds; on close and on failure.
    virtual void stopSound() = 0;
    // After close has stopped the sound.
    virtual void onClosed() {}

private:
    QString m_path; // the path of the latest playPath while open
    bool m_open = false;
    bool m_failed = false;
    bool m_started = false;
    unsigned long long m_playback = 0; // counts playPath calls, so a late report of an earlier one is ignored
    long long m_lengthMs = 0;
};

class PulseServer;

// The two channels a bell plays on: one for single bells (decoded ahead, heard at once, looped for
// an emergency) and one for a playlist's tracks (streamed), and the sound server they play on,
// which tells whether sound can be heard (none for players that need no server).
struct BellPlayers {
    std::unique_ptr<SoundChannel> bells;
    std::unique_ptr<SoundChannel> tracks;
    std::shared_ptr<PulseServer> server;
};

} // namespace halvix
