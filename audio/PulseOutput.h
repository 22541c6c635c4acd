#pragma once

#include "audio/PulseServer.h"
#include "bell/SoundPlayer.h"

#include <QByteArray>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct pa_operation;
struct pa_stream;
struct pa_time_event;

namespace halvix {

// Plays one sound at a time on the sound server (16-bit stereo, 44.1 kHz): a sound from memory,
// once or round and round without a gap, or a stream whose bytes come as they are decoded. Each
// sound has a stream of its own, opened when it starts and closed when it ends, so the server's
// output may sleep between bells. Nothing here waits for the server: the client library's loop
// feeds the stream and reports, so a frozen or vanished server never holds the caller.
class PulseOutput {
public:
    // How long a sound may take to start once it was handed over before the server counts as not
    // answering.
    static constexpr int kStartWaitMs = 5000;

    // Reports, from the client library's thread: `started` once the server has begun to play the
    // sound (`silencedBy` non-empty when it plays muted or at volume zero); `ended` once it was heard
    // to its end (no fault) or when it cannot be heard, or is no longer (a fault and its reason in
    // Chinese). Never for a sound that was replaced or stopped.
    struct Reports {
        std::function<void(unsigned long long playback, const std::string& silencedBy)> started;
        std::function<void(unsigned long long playback, std::optional<SoundFault> fault,
                           const std::string& reason)>
            ended;
    };

    explicit PulseOutput(Reports reports, std::shared_ptr<PulseServer> server = PulseServer::shared());
    ~PulseOutput();
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    // Replaces what sounds with `pcm`, from its first byte; `mono`: one channel, heard on both.
    void play(unsigned long long playback, QByteArray pcm, bool loop, bool mono = false);
    // Replaces what sounds with a stream; its bytes come with append, its end with finish.
    void stream(unsigned long long playback);
    void append(QByteArray bytes);
    void finish();
    // What sounds stops at once, with what the server still holds of it.
    void stop();

    const std::shared_ptr<PulseServer>& server() const { return m_server; }

private:
    // All of these run under the server's lock.
    void begin(unsigned long long playback);
    void openStream();
    void closeStream();
    void feed();
    QByteArray takeChunk(std::size_t room);
    bool allTaken() const;
    void checkVolumes();
    void volumeAnswered(const std::string& silencedBy);
    void reportStartedWhenKnown();
    void end(std::optional<SoundFault> fault, const std::string& reason);
    void armStartWait();
    void disarmStartWait();
    static void onState(pa_stream* stream, void* self);
    static void onWrite(pa_stream* stream, std::size_t bytes, void* self);
    static void onStarted(pa_stream* stream, void* self);
    static void onDrained(pa_stream* stream, int success, void* self);

    Reports m_reports;
    std::shared_ptr<PulseServer> m_server;

    pa_stream* m_stream = nullptr;
    pa_time_event* m_startWait = nullptr;
    unsigned long long m_playback = 0;
    bool m_active = false;    // a sound is under way
    bool m_streaming = false; // its bytes come with append
    bool m_finished = false;  // the stream's last bytes have come
    bool m_loop = false;
    bool m_mono = false;
    bool m_draining = false;
    bool m_drained = false;       // played to its end
    bool m_started = false;       // the server began to play it
    bool m_startReported = false; // and the listener knows
    bool m_volumeAsked = false;   // the stream's and the output's volume were asked for
    int m_volumeChecksLeft = 0;   // answers about them still due
    std::string m_silencedBy;     // what mutes it, if anything
    long long m_written = 0;      // bytes handed to the server
    QByteArray m_pcm;
    qsizetype m_position = 0;
    std::deque<QByteArray> m_pending;
    std::vector<pa_operation*> m_asking; // the context's answers still due about this stream
};

} // namespace halvix
