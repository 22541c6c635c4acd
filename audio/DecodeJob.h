#pragma once

#include "audio/DecodedSound.h"

#include <QProcess>
#include <QTimer>

#include <functional>

namespace halvix {

// One file's decoding into PCM, by the decoding tool (halvix-decode) in a process of its own,
// driven from the thread the job is created on. Calls `done` once (decoded, unplayable, or over
// kMaxDecodedBytes), then waits to be deleted by its owner.
class DecodeJob {
public:
    using Done = std::function<void(DecodedSound)>;

    DecodeJob(const QString& path, Done done);
    ~DecodeJob();
    DecodeJob(const DecodeJob&) = delete;
    DecodeJob& operator=(const DecodeJob&) = delete;

    // Where the decoding tool is: beside the program, else where the build put it.
    static QString toolPath();

private:
    void takeOutput();
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void onStall();
    void end(DecodedSound::Outcome outcome);

    QProcess m_process;
    QTimer m_stall;
    DecodedSound m_sound;
    Done m_done;
    bool m_ended = false;
};

} // namespace halvix
