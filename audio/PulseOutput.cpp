#include "audio/PulseOutput.h"

#include "audio/DecodeProtocol.h"
#include "audio/DecodedSound.h"

#include <algorithm>
#include <utility>

namespace halvix {

namespace {

// Written a piece at a time, so a stop or a new sound waits for one piece at most.
constexpr qsizetype kChunkBytes = decodetool::kSampleRate / 20 * decodetool::kBytesPerFrame; // 50 ms
// What the server holds ahead: enough to ride out a busy moment of this process.
constexpr uint32_t kAheadBytes = 4 * kChunkBytes;

} // namespace

PulseOutput::PulseOutput(Ended ended) : m_ended(std::move(ended)), m_thread([this] { run(); }) {}

PulseOutput::~PulseOutput() {
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void PulseOutput::play(unsigned long long playback, QByteArray pcm, bool loop, bool mono) {
    {
        const std::lock_guard lock(m_mutex);
        m_playback = playback;
        m_active = m_changed = true;
        m_streaming = m_finished = false;
        m_loop = loop;
        m_mono = mono;
        m_pcm = std::move(pcm);
        m_position = 0;
        m_pending.clear();
    }
    m_wake.notify_one();
}

void PulseOutput::warmUp() {
    {
        const std::lock_guard lock(m_mutex);
        m_warm = true;
    }
    m_wake.notify_one();
}

void PulseOutput::stream(unsigned long long playback) {
    {
        const std::lock_guard lock(m_mutex);
        m_playback = playback;
        m_active = m_changed = m_streaming = m_warm = true;
        m_finished = m_loop = m_mono = false;
        m_pcm.clear();
        m_pending.clear();
    }
    m_wake.notify_one();
}

void PulseOutput::append(QByteArray bytes) {
    {
        const std::lock_guard lock(m_mutex);
        if (!m_streaming || m_finished)
            return;
        m_pending.push_back(std::move(bytes));
    }
    m_wake.notify_one();
}

void PulseOutput::finish() {
    {
        const std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_wake.notify_one();
}

void PulseOutput::stop() {
    {
        const std::lock_guard lock(m_mutex);
        m_active = false;
        m_changed = true;
        m_pcm.clear();
        m_pending.clear();
    }
    m_wake.notify_one();
}

// Whole frames only: the server takes nothing else. A stream's odd byte waits for the next bytes.
QByteArray PulseOutput::takeChunk() {
    QByteArray chunk;
    if (!m_streaming) {
        while (chunk.size() < kChunkBytes && !m_pcm.isEmpty()) {
            if (m_position >= m_pcm.size()) {
                if (!m_loop)
                    break;
                m_position = 0;
            }
            const qsizetype take =
                std::min((kChunkBytes - chunk.size()) / (m_mono ? decodetool::kChannels : 1), m_pcm.size() - m_position);
            if (m_mono)
                appendAsStereo(chunk, m_pcm.constData() + m_position, take);
            else
                chunk.append(m_pcm.constData() + m_position, take);
            m_position += take;
        }
    } else {
        while (chunk.size() < kChunkBytes && !m_pending.empty()) {
            QByteArray& front = m_pending.front();
            const qsizetype take = std::min(kChunkBytes - chunk.size(), front.size());
            chunk.append(front.constData(), take);
            if (take == front.size())
                m_pending.pop_front();
            else
                front.remove(0, take);
        }
        const qsizetype odd = chunk.size() % decodetool::kBytesPerFrame;
        if (odd > 0 && !m_finished)
            m_pending.push_front(chunk.right(odd));
        chunk.chop(odd);
    }
    return chunk;
}

bool PulseOutput::wholeFrameWaits() const {
    // A stream's odd bytes wait alone at the front; anything appended after them completes a frame.
    return m_pending.size() > 1 ||
           (m_pending.size() == 1 && m_pending.front().size() >= decodetool::kBytesPerFrame);
}

bool PulseOutput::allTaken() const {
    if (m_streaming)
        return m_finished && m_pending.empty();
    return !m_loop && m_position >= m_pcm.size();
}

void PulseOutput::run() {
    for (;;) {
        QByteArray chunk;
        bool flush = false;
        bool ending = false;
        bool warm = false;
        unsigned long long playback = 0;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || m_changed || m_active || m_warm; });
            if (m_quit)
                break;
            warm = std::exchange(m_warm, false);
            flush = std::exchange(m_changed, false);
            playback = m_playback;
            if (m_active) {
                chunk = takeChunk();
                ending = chunk.isEmpty() && allTaken();
                // A stream that waits for its next bytes: woken by append or finish.
                if (chunk.isEmpty() && !ending && !flush && !warm) {
                    m_wake.wait(lock,
                                [this] { return m_quit || m_changed || m_finished || wholeFrameWaits(); });
                    continue;
                }
            }
        }
        std::string error;
        if (warm && !m_server.isOpen())
            connect(error); // a server that is away is told by the sound that needs it
        if (flush && m_server.isOpen()) {
            std::string lost; // a server lost here is found again by the write that follows
            m_server.flush(lost);
        }
        if (!chunk.isEmpty()) {
            if (write(chunk, error))
                continue;
        } else if (!ending || (m_server.isOpen() && !drain(playback))) {
            continue;
        }
        const std::lock_guard lock(m_mutex);
        if (m_playback == playback && m_active && !m_changed) {
            m_active = false;
            m_pcm.clear();
            m_ended(playback, error);
        }
    }
    disconnect();
}

bool PulseOutput::connect(std::string& error) {
    return m_server.open(decodetool::kSampleRate, decodetool::kChannels, kAheadBytes, error);
}

bool PulseOutput::write(const QByteArray& chunk, std::string& error) {
    // A connection kept since the last sound may have lost a server that restarted meanwhile: the
    // sound goes once more on a new one.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!m_server.isOpen() && !connect(error))
            return false;
        if (m_server.write(std::string_view(chunk.constData(), std::size_t(chunk.size())), error))
            return true;
    }
    return false;
}

bool PulseOutput::drain(unsigned long long playback) {
    std::string error; // a server lost meanwhile is found by the next sound
    m_server.drain(error);
    const std::lock_guard lock(m_mutex);
    return m_playback == playback && !m_changed;
}

void PulseOutput::disconnect() { m_server.close(); }

} // namespace halvix
