#pragma once

#include <QObject>
#include <QThread>

#include <functional>
#include <map>
#include <memory>

namespace halvix {

class DecodeJob;
struct DecodedSound;

// Decodes files on a worker thread of its own, so the window thread never waits for a decoder.
// Each result comes back on the receiver's thread, tagged with the job number it was started with.
class SoundDecoder {
public:
    using Done = std::function<void(quint64 job, const DecodedSound&)>;

    SoundDecoder(QObject* receiver, Done done);
    ~SoundDecoder();
    SoundDecoder(const SoundDecoder&) = delete;
    SoundDecoder& operator=(const SoundDecoder&) = delete;

    void start(quint64 job, const QString& path);
    // Stops the job's decoding. A result already on its way still arrives: the receiver ignores a
    // job it no longer waits for.
    void cancel(quint64 job);

private:
    QObject* m_receiver;
    Done m_done;
    QThread m_thread;
    QObject m_context;                                    // lives on m_thread
    std::map<quint64, std::unique_ptr<DecodeJob>> m_jobs; // touched on m_thread only
};

} // namespace halvix
