#pragma once

#include "audio/PulseConnection.h"

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace halvix {

// The sound server's playback stream, fed by a thread of its own:
// the program's thread hands over decoded sound (16-bit stereo, 44.1 kHz) and never waits for the
// server. One sound at a time: a sound from memory (once, or round and round without a gap), or a
// stream whose bytes come as they are decoded. The connection opens ahead of the first sound (see
// warmUp) and stays open: opening it takes tens of milliseconds on a busy machine, which a bell
// must not wait for.
class PulseOutput {
public:
    // From the output's thread: the sound of `playback` has been heard to its end (`error` empty),
    // or cannot be played (`error` says why, in Chinese). Never for a sound that was replaced or stopped.
    using Ended = std::function<void(unsigned long long playback, const std::string& error)>;

    explicit PulseOutput(Ended ended);
    ~PulseOutput();
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    // Opens the connection now, if it is not open, so that the next sound starts at once.
    void warmUp();
    // Replaces what sounds with `pcm`, from its first byte; `mono`: one channel, heard on both.
    void play(unsigned long long playback, QByteArray pcm, bool loop, bool mono = false);
    // Replaces what sounds with a stream; its bytes come with append, its end with finish.
    void stream(unsigned long long playback);
    void append(QByteArray bytes);
    void finish();
    // What sounds stops at once, with what the server still holds of it.
    void stop();

private:
    // A piece of the current sound to write, empty when there is none now.
    QByteArray takeChunk();
    bool allTaken() const;
    bool wholeFrameWaits() const;
    void run();
    bool connect(std::string& error);
    bool write(const QByteArray& chunk, std::string& error);
    // Waits until the server has played what it holds; false when a new sound or a stop came first.
    bool drain(unsigned long long playback);
    void disconnect();

    Ended m_ended;
    PulseConnection m_server; // the output thread's alone

    std::mutex m_mutex;
    std::condition_variable m_wake;
    unsigned long long m_playback = 0;
    bool m_active = false;  // a sound is under way: written, or heard to its end
    bool m_changed = false; // a new sound or a stop: what the server holds goes
    bool m_streaming = false;
    bool m_finished = false; // the stream's last bytes have come
    bool m_loop = false;
    bool m_mono = false;
    bool m_quit = false;
    bool m_warm = false; // the connection is to be opened ahead
    QByteArray m_pcm;
    qsizetype m_position = 0;
    std::deque<QByteArray> m_pending;

    std::thread m_thread; // last: started once everything above is ready
};

} // namespace halvix
