#include "audio/PulseOutput.h"

#include "audio/DecodeProtocol.h"
#include "audio/DecodedSound.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>
#include <pulse/volume.h>

#include <algorithm>
#include <utility>

namespace halvix {

namespace {

// What the server holds ahead of what it plays: enough to ride out a busy moment of this process,
// little enough that a stop is heard at once.
constexpr std::uint32_t kAheadBytes = decodetool::kSampleRate / 4 * decodetool::kBytesPerFrame; // 250 ms
// The most written at once.
constexpr std::size_t kMaxWrite = 64 * 1024;

std::string refusalText(pa_stream* stream) {
    return std::string("声音服务器拒绝播放: ") + pa_strerror(pa_context_errno(pa_stream_get_context(stream)));
}

} // namespace

PulseOutput::PulseOutput(Reports reports, std::shared_ptr<PulseServer> server)
    : m_reports(std::move(reports)), m_server(std::move(server)) {}

PulseOutput::~PulseOutput() {
    const PulseServer::Lock lock(*m_server);
    m_active = false;
    closeStream();
}

void PulseOutput::play(unsigned long long playback, QByteArray pcm, bool loop, bool mono) {
    const PulseServer::Lock lock(*m_server);
    begin(playback);
    m_loop = loop;
    m_mono = mono;
    m_pcm = std::move(pcm);
    openStream();
}

void PulseOutput::stream(unsigned long long playback) {
    const PulseServer::Lock lock(*m_server);
    begin(playback);
    m_streaming = true;
    openStream();
}

void PulseOutput::append(QByteArray bytes) {
    const PulseServer::Lock lock(*m_server);
    if (!m_active || !m_streaming || m_finished)
        return;
    m_pending.push_back(std::move(bytes));
    if (!m_started && !m_startWait)
        armStartWait(); // the server has sound to start now
    feed();
}

void PulseOutput::finish() {
    const PulseServer::Lock lock(*m_server);
    if (!m_active || !m_streaming)
        return;
    m_finished = true;
    feed();
}

void PulseOutput::stop() {
    const PulseServer::Lock lock(*m_server);
    m_active = false;
    closeStream();
}

void PulseOutput::begin(unsigned long long playback) {
    closeStream();
    m_playback = playback;
    m_active = true;
    m_streaming = m_finished = m_loop = m_mono = m_draining = m_drained = false;
    m_started = m_startReported = false;
    m_volumeChecksLeft = 0;
    m_volumeAsked = false;
    m_silencedBy.clear();
    m_written = 0;
    m_pcm.clear();
    m_position = 0;
    m_pending.clear();
}

void PulseOutput::openStream() {
    pa_context* context = m_server->readyContext();
    if (!context)
        m_server->reconnectNow(); // a server back since the last attempt is heard at once
    if (!context && m_server->connecting()) {
        // The connection is being made (the program has just started, or the server came back):
        // the sound starts once it is there, or is told not heard if it fails.
        m_server->whenSettled(this, [this] {
            if (m_active && !m_stream)
                openStream();
        });
        armStartWait();
        return;
    }
    if (!context) {
        const std::string problem = m_server->health().problem;
        return end(SoundFault::NoOutput, problem.empty() ? "无法连接声音服务器" : problem);
    }
    static const pa_sample_spec format{PA_SAMPLE_S16LE, decodetool::kSampleRate, decodetool::kChannels};
    m_stream = pa_stream_new(context, "铃声", &format, nullptr);
    if (!m_stream)
        return end(SoundFault::NoOutput,
                   std::string("声音服务器拒绝播放: ") + pa_strerror(pa_context_errno(context)));
    pa_stream_set_state_callback(m_stream, &PulseOutput::onState, this);
    pa_stream_set_write_callback(m_stream, &PulseOutput::onWrite, this);
    pa_stream_set_started_callback(m_stream, &PulseOutput::onStarted, this);
    pa_buffer_attr buffer{};
    buffer.maxlength = std::uint32_t(-1);
    buffer.tlength = kAheadBytes;
    buffer.prebuf = std::uint32_t(-1);
    buffer.minreq = std::uint32_t(-1);
    buffer.fragsize = std::uint32_t(-1);
    // No device named: the client library takes PULSE_SINK or the client configuration's, else the
    // server's default output.
    if (pa_stream_connect_playback(m_stream, nullptr, &buffer, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) <
        0) {
        const std::string reason = refusalText(m_stream);
        closeStream();
        return end(SoundFault::NoOutput, reason);
    }
    armStartWait();
}

void PulseOutput::closeStream() {
    disarmStartWait();
    m_server->forgetWaiter(this);
    // The context's answers about a stream that is gone must never reach this object.
    for (pa_operation* asking : m_asking) {
        pa_operation_cancel(asking);
        pa_operation_unref(asking);
    }
    m_asking.clear();
    if (!m_stream)
        return;
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_set_write_callback(m_stream, nullptr, nullptr);
    pa_stream_set_started_callback(m_stream, nullptr, nullptr);
    // Disconnected, the server drops what it still holds: a stop is heard at once.
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
}

void PulseOutput::armStartWait() {
    disarmStartWait();
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_server->loop());
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when), pa_usec_t(kStartWaitMs) * PA_USEC_PER_MSEC);
    m_startWait = api->time_new(
        api, &when,
        [](pa_mainloop_api* loopApi, pa_time_event* event, const timeval*, void* self) {
            auto* output = static_cast<PulseOutput*>(self);
            loopApi->time_free(event);
            output->m_startWait = nullptr;
            // A stream still waiting for sound from its decoder is the decoder's to give up on.
            if (output->m_active && !output->m_started &&
                (!output->m_streaming || output->m_written > 0 || !output->m_pending.empty())) {
                output->m_server->streamUnanswered();
                output->end(SoundFault::NoOutput, "声音服务器无应答");
            }
        },
        this);
}

void PulseOutput::disarmStartWait() {
    if (!m_startWait)
        return;
    pa_threaded_mainloop_get_api(m_server->loop())->time_free(m_startWait);
    m_startWait = nullptr;
}

void PulseOutput::onState(pa_stream* stream, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
        output->feed();
        break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED: {
        const bool wasHeard = output->m_started;
        const std::string reason = refusalText(stream);
        output->m_server->streamFailed();
        if (wasHeard)
            output->end(SoundFault::CutOff, "播放中声音服务器断开");
        else
            output->end(SoundFault::NoOutput, reason);
        break;
    }
    default:
        break;
    }
}

void PulseOutput::onWrite(pa_stream*, std::size_t, void* self) {
    static_cast<PulseOutput*>(self)->feed();
}

void PulseOutput::onStarted(pa_stream*, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    output->m_started = true;
    output->disarmStartWait();
    // Asked once it plays: before, a server may not have given the stream its volume yet.
    output->checkVolumes();
}

void PulseOutput::feed() {
    if (!m_active || !m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY || m_draining)
        return;
    std::size_t room = pa_stream_writable_size(m_stream);
    while (room > 0) {
        const QByteArray chunk = takeChunk(std::min(room, kMaxWrite));
        if (chunk.isEmpty())
            break;
        if (pa_stream_write(m_stream, chunk.constData(), std::size_t(chunk.size()), nullptr, 0,
                            PA_SEEK_RELATIVE) < 0)
            return; // the stream's state says why
        m_written += chunk.size();
        room -= std::size_t(chunk.size());
    }
    if (!allTaken())
        return;
    if (m_written == 0)
        return end(SoundFault::Unplayable, "声音文件中没有声音");
    // Drained, the server has played everything (and it begins to, however little it holds).
    m_draining = true;
    if (pa_operation* draining = pa_stream_drain(m_stream, &PulseOutput::onDrained, this))
        pa_operation_unref(draining);
}

void PulseOutput::onDrained(pa_stream* stream, int success, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    if (stream != output->m_stream || !success)
        return; // a failed drain: the stream's state tells what happened
    // Played to its end; a sound too short for the server to say it started was heard all the same.
    output->m_drained = output->m_started = true;
    output->disarmStartWait();
    if (output->m_startReported)
        output->end(std::nullopt, {});
    else
        output->checkVolumes(); // and ends it once it was told
}

// Whole frames only: the server takes nothing else. A stream's odd bytes wait for the next ones.
QByteArray PulseOutput::takeChunk(std::size_t room) {
    const qsizetype limit = qsizetype(room) / decodetool::kBytesPerFrame * decodetool::kBytesPerFrame;
    QByteArray chunk;
    if (!m_streaming) {
        const int factor = m_mono ? decodetool::kChannels : 1;
        while (chunk.size() < limit && !m_pcm.isEmpty()) {
            if (m_position >= m_pcm.size()) {
                if (!m_loop)
                    break;
                m_position = 0;
            }
            const qsizetype take = std::min((limit - chunk.size()) / factor, m_pcm.size() - m_position);
            if (take <= 0)
                break;
            if (m_mono)
                appendAsStereo(chunk, m_pcm.constData() + m_position, take);
            else
                chunk.append(m_pcm.constData() + m_position, take);
            m_position += take;
        }
        return chunk;
    }
    while (chunk.size() < limit && !m_pending.empty()) {
        QByteArray& front = m_pending.front();
        const qsizetype take = std::min(limit - chunk.size(), front.size());
        chunk.append(front.constData(), take);
        if (take == front.size())
            m_pending.pop_front();
        else
            front.remove(0, take);
    }
    const qsizetype odd = chunk.size() % decodetool::kBytesPerFrame;
    if (odd > 0) {
        if (!m_finished)
            m_pending.push_front(chunk.right(odd));
        chunk.chop(odd);
    }
    return chunk;
}

bool PulseOutput::allTaken() const {
    if (m_streaming)
        return m_finished && (m_pending.empty() || (m_pending.size() == 1 &&
                                                    m_pending.front().size() < decodetool::kBytesPerFrame));
    return !m_loop && m_position >= m_pcm.size();
}

void PulseOutput::checkVolumes() {
    if (std::exchange(m_volumeAsked, true))
        return reportStartedWhenKnown();
    pa_context* context = pa_stream_get_context(m_stream);
    m_volumeChecksLeft = 0;
    // The stream's own volume: a mixer's mute of this program is restored by the server at every
    // start, so a user's one click would silence every bell without a word.
    if (pa_operation* asking = pa_context_get_sink_input_info(
            context, pa_stream_get_index(m_stream),
            [](pa_context*, const pa_sink_input_info* info, int eol, void* self) {
                if (eol > 0)
                    return;
                std::string silenced;
                if (info && info->mute)
                    silenced = "本程序的声音在音量控制中被设为静音";
                else if (info && info->has_volume && pa_cvolume_max(&info->volume) <= PA_VOLUME_MUTED)
                    silenced = "本程序的音量在音量控制中被设为 0";
                static_cast<PulseOutput*>(self)->volumeAnswered(silenced);
            },
            this)) {
        ++m_volumeChecksLeft;
        m_asking.push_back(asking);
    }
    // The output's: muted or at zero, nothing it plays is heard.
    if (pa_operation* asking = pa_context_get_sink_info_by_index(
            context, pa_stream_get_device_index(m_stream),
            [](pa_context*, const pa_sink_info* info, int eol, void* self) {
                if (eol > 0)
                    return;
                std::string silenced;
                if (info && info->mute)
                    silenced = std::string("输出设备已静音: ") +
                               (info->description ? info->description : info->name);
                else if (info && pa_cvolume_max(&info->volume) <= PA_VOLUME_MUTED)
                    silenced = std::string("输出设备音量为 0: ") +
                               (info->description ? info->description : info->name);
                static_cast<PulseOutput*>(self)->volumeAnswered(silenced);
            },
            this)) {
        ++m_volumeChecksLeft;
        m_asking.push_back(asking);
    }
    if (m_volumeChecksLeft == 0)
        reportStartedWhenKnown(); // nothing could be asked: told as heard
}

void PulseOutput::volumeAnswered(const std::string& silencedBy) {
    if (m_silencedBy.empty())
        m_silencedBy = silencedBy;
    if (m_volumeChecksLeft > 0 && --m_volumeChecksLeft == 0)
        reportStartedWhenKnown();
}

void PulseOutput::reportStartedWhenKnown() {
    if (!m_active || !m_started || m_startReported || !m_volumeAsked || m_volumeChecksLeft > 0)
        return;
    m_startReported = true;
    m_reports.started(m_playback, m_silencedBy);
    if (m_drained)
        end(std::nullopt, {});
}

void PulseOutput::end(std::optional<SoundFault> fault, const std::string& reason) {
    if (!m_active)
        return;
    m_active = false;
    closeStream();
    m_pcm.clear();
    m_pending.clear();
    m_reports.ended(m_playback, fault, reason);
}

} // namespace halvix
