#include "audio/SoundDecoder.h"

#include "audio/DecodeJob.h"

#include <utility>

namespace halvix {

SoundDecoder::SoundDecoder(QObject* receiver, Done done) : m_receiver(receiver), m_done(std::move(done)) {
    m_thread.setObjectName(QStringLiteral("sound decoder"));
    m_context.moveToThread(&m_thread);
    m_thread.start(QThread::LowPriority);
}

SoundDecoder::~SoundDecoder() {
    // The decoders live on the thread and go with it.
    QMetaObject::invokeMethod(
        &m_context, [this] { m_jobs.clear(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void SoundDecoder::start(quint64 job, const QString& path) {
    QMetaObject::invokeMethod(&m_context, [this, job, path] {
        m_jobs[job] = std::make_unique<DecodeJob>(path, [this, job](DecodedSound sound) {
            QMetaObject::invokeMethod(
                m_receiver, [done = m_done, job, sound = std::move(sound)] { done(job, sound); },
                Qt::QueuedConnection);
            // Not from inside the decoder's own signal.
            QMetaObject::invokeMethod(
                &m_context, [this, job] { m_jobs.erase(job); }, Qt::QueuedConnection);
        });
    });
}

void SoundDecoder::cancel(quint64 job) {
    QMetaObject::invokeMethod(&m_context, [this, job] { m_jobs.erase(job); });
}

} // namespace halvix
