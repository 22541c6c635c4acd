#pragma once

#include "audio/DecodedSound.h"

#include <QProcess>
#include <QTimer>

#include <functional>
#include <memory>

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

// The streaming tool (halvix-decode --stream), as the streaming players run it.
// Starts `tool` on `path`, its errors dropped. Connect to it first: a tool that cannot be started
// may be reported from inside the start.
void startStreamTool(QProcess& tool, const QString& path);
// Whether its first line, the file's announced length, has been read; reads it once it has come
// whole. `announcedMs` gets the length when it is read now (0: unknown, or read before).
bool streamHeaderRead(QProcess& tool, bool& headerRead, qint64& announcedMs);
// Its end, when it gave no sound at all: the file is unplayable.
bool streamGaveNothing(qint64 soundBytes, int exitCode, QProcess::ExitStatus status, bool headerRead);
// Kills it and reaps it; deleted later, not now: this may run inside one of its own signals.
void endStreamTool(std::unique_ptr<QProcess>& tool, QObject* receiver);

} // namespace halvix
