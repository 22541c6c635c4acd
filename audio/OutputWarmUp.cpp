#include "audio/OutputWarmUp.h"

#include "audio/SinkFormat.h"

#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>
#include <QTimer>

#include <atomic>

namespace halvix {

void warmUpAudioOutput(QObject* context) {
    static std::atomic_bool done = false;
    if (done.exchange(true))
        return;
    // Half a second on: after the window is on screen, still long before a bell of the day.
    QTimer::singleShot(500, context, [] {
        const QAudioFormat format = decodedFormat();
        QByteArray silence(static_cast<qsizetype>(format.bytesForDuration(5'000)), '\0');
        QBuffer source(&silence);
        source.open(QIODevice::ReadOnly);
        QAudioSink sink(QMediaDevices::defaultAudioOutput(), format);
        sink.start(&source); // no server: an error on the sink, and the first bell connects instead
        sink.stop();
    });
}

} // namespace halvix
