// halvix-decode: decodes one sound file into raw PCM on its standard output: 16-bit signed
// little-endian, stereo, 44.1 kHz, without the leading digital silence (an encoder's priming
// samples are not heard anyway, and dropping them starts every format at once).
// Its command line, output and exit status are in DecodeProtocol.h. Runs as a process of its own,
// so the program never maps FFmpeg's libraries and their dependency chain (some 30 MiB resident) for a bell.
#include "audio/DecodeProtocol.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

using halvix::decodetool::kChannels;
constexpr int kRate = halvix::decodetool::kSampleRate;
constexpr int kBytesPerFrame = kChannels * 2;
// A sample this small (-60 dBFS) is silence: a lossy codec's rendering of digital silence is
// rarely exactly zero, and nothing this quiet is heard from a loudspeaker at a bell's volume.
constexpr int kSilence = 32;
// How far a stream runs ahead of its playing: enough to ride out a busy moment, little enough that
// the reader never holds more than a few hundred kB of a track of any length.
constexpr auto kStreamLead = std::chrono::seconds(2);

using halvix::decodetool::kDecoded;
using halvix::decodetool::kTooLong;
using halvix::decodetool::kUnplayable;

class Output {
public:
    // `paced`: each write waits until the sound written is at most kStreamLead ahead of the time
    // since the first sound was written.
    Output(long long maxBytes, bool paced) : m_maxBytes(maxBytes), m_paced(paced) {}

    // False once the sound is over the bound.
    bool write(const std::int16_t* samples, int frames) {
        int first = 0;
        if (!m_heard) {
            while (first < frames && quiet(samples + first * kChannels))
                ++first;
            m_heard = first < frames;
            m_skippedFrames += first;
        }
        const long long bytes = static_cast<long long>(frames - first) * kBytesPerFrame;
        if (m_written + bytes > m_maxBytes)
            return false;
        if (bytes > 0 && std::fwrite(samples + first * kChannels, 1, bytes, stdout) != std::size_t(bytes))
            std::exit(kUnplayable); // the reader has gone
        m_written += bytes;
        if (m_paced && bytes > 0)
            keepPace();
        return true;
    }
    // A sound that is silent throughout is played as it is: one frame of it, so it counts as sound.
    void finish() {
        if (!m_heard && m_skippedFrames > 0) {
            const std::int16_t frame[kChannels] = {};
            std::fwrite(frame, 1, sizeof frame, stdout);
            m_written += sizeof frame;
        }
        std::fflush(stdout);
    }
    long long written() const { return m_written; }

private:
    void keepPace() {
        std::fflush(stdout);
        const auto now = Clock::now();
        if (!m_started) {
            m_started = true;
            m_start = now;
        }
        const auto written = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(double(m_written) / (kRate * kBytesPerFrame)));
        const auto ahead = written - (now - m_start);
        if (ahead > kStreamLead)
            std::this_thread::sleep_for(ahead - kStreamLead);
    }

    static bool quiet(const std::int16_t* frame) {
        for (int c = 0; c < kChannels; ++c)
            if (std::abs(int(frame[c])) > kSilence)
                return false;
        return true;
    }

    long long m_maxBytes;
    bool m_paced;
    bool m_started = false;
    Clock::time_point m_start;
    long long m_written = 0;
    long long m_skippedFrames = 0;
    bool m_heard = false;
};

struct Decoder {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* resampler = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    std::vector<std::int16_t> pcm;

    ~Decoder() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        swr_free(&resampler);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }
};

// The converter to 16-bit stereo at kRate. A file of one channel is heard on both loudspeakers at
// the level it was made: libswresample would mix that channel in as a centre, 3 dB down on each
// side. Every other layout keeps its default mix, whose weights are scaled down so that a
// downmix (5.1 to stereo) never clips.
bool openResampler(Decoder& d) {
    if (d.codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&d.codec->ch_layout, d.codec->ch_layout.nb_channels);
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (swr_alloc_set_opts2(&d.resampler, &stereo, AV_SAMPLE_FMT_S16, kRate, &d.codec->ch_layout,
                            d.codec->sample_fmt, d.codec->sample_rate, 0, nullptr) < 0)
        return false;
    const double bothSides[kChannels] = {1.0, 1.0}; // the one input channel's weight in each output
    if (d.codec->ch_layout.nb_channels == 1 && swr_set_matrix(d.resampler, bothSides, 1) < 0)
        return false;
    return swr_init(d.resampler) >= 0;
}

// Converts `frame` (null: what the resampler still holds) and writes it.
bool convert(Decoder& d, Output& out, const AVFrame* frame) {
    const int in = frame ? frame->nb_samples : 0;
    const int room = swr_get_out_samples(d.resampler, in);
    if (room <= 0)
        return true;
    d.pcm.resize(std::size_t(room) * kChannels);
    auto* target = reinterpret_cast<std::uint8_t*>(d.pcm.data());
    const int frames =
        swr_convert(d.resampler, &target, room,
                    frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr, in);
    return frames < 0 || out.write(d.pcm.data(), frames);
}

// Receives every frame the decoder has ready; false once the sound is over the bound.
bool drain(Decoder& d, Output& out) {
    while (avcodec_receive_frame(d.codec, d.frame) == 0) {
        const bool kept = convert(d, out, d.frame);
        av_frame_unref(d.frame);
        if (!kept)
            return false;
    }
    return true;
}

// `maxBytes` < 0: a stream (see the top of this file).
int decode(const char* path, long long maxBytes) {
    const bool stream = maxBytes < 0;
    Decoder d;
    if (avformat_open_input(&d.format, path, nullptr, nullptr) < 0 ||
        avformat_find_stream_info(d.format, nullptr) < 0)
        return kUnplayable;
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(d.format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (index < 0 || !codec)
        return kUnplayable;
    const AVStream* audio = d.format->streams[index];
    // The announced length alone may be over the bound: the file is streamed, not decoded.
    if (!stream && d.format->duration > 0 &&
        d.format->duration / AV_TIME_BASE * kRate * kBytesPerFrame > maxBytes)
        return kTooLong;

    d.codec = avcodec_alloc_context3(codec);
    if (!d.codec || avcodec_parameters_to_context(d.codec, audio->codecpar) < 0 ||
        avcodec_open2(d.codec, codec, nullptr) < 0)
        return kUnplayable;
    if (!openResampler(d))
        return kUnplayable;

    d.packet = av_packet_alloc();
    d.frame = av_frame_alloc();
    if (stream) {
        const long long ms = d.format->duration > 0 ? d.format->duration * 1000 / AV_TIME_BASE : 0;
        std::printf("%lld\n", ms);
    }
    Output out(stream ? LLONG_MAX : maxBytes, stream);
    while (av_read_frame(d.format, d.packet) >= 0) {
        const bool ours = d.packet->stream_index == index;
        // A packet the decoder refuses (damage midway) is skipped, as a player would.
        if (ours)
            avcodec_send_packet(d.codec, d.packet);
        av_packet_unref(d.packet);
        if (ours && !drain(d, out))
            return kTooLong;
    }
    avcodec_send_packet(d.codec, nullptr);
    if (!drain(d, out) || !convert(d, out, nullptr))
        return kTooLong;
    out.finish();
    return out.written() > 0 ? kDecoded : kUnplayable;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: halvix-decode FILE MAX_BYTES | halvix-decode --stream FILE\n");
        return kUnplayable;
    }
    av_log_set_level(AV_LOG_QUIET);
    if (std::strcmp(argv[1], halvix::decodetool::kStreamOption) == 0)
        return decode(argv[2], -1);
    return decode(argv[1], std::max(0LL, std::atoll(argv[2])));
}
