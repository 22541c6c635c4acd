#pragma once

#include "audio/DecodedSound.h"

#include <QAudioDecoder>
#include <QTimer>

#include <functional>

namespace halvix {

// One file's decoding into PCM, on the thread it is created on. Calls `done` once (decoded,
// unplayable, or over kMaxDecodedBytes), then waits to be deleted by its owner.
class DecodeJob {
public:
    using Done = std::function<void(DecodedSound)>;

    DecodeJob(const QString& path, Done done);
    ~DecodeJob();
    DecodeJob(const DecodeJob&) = delete;
    DecodeJob& operator=(const DecodeJob&) = delete;

private:
    void takeBuffer();
    void checkDuration(qint64 ms);
    void onStall();
    void finish();
    void end(DecodedSound::Outcome outcome);

    QAudioDecoder m_decoder;
    QTimer m_stall;
    DecodedSound m_sound;
    Done m_done;
    bool m_ended = false;
};

} // namespace halvix
