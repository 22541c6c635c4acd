#pragma once

#include "audio/PulseProtocol.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace halvix {

// One playback stream on the sound server, spoken to over its Unix socket by the protocol itself
// rather than through the server's client library, whose chain of libraries (the X client, systemd,
// libsndfile and its codecs, libgcrypt) would cost each program about 3 MiB resident for four calls.
// Blocking, for the one thread that feeds it; every wait for the server ends within kWaitMs.
// Errors are told in Chinese.
class PulseConnection {
public:
    static constexpr int kWaitMs = 10000;

    PulseConnection() = default;
    ~PulseConnection() { close(); }
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Connects, introduces the program, and opens a stream of 16-bit little-endian sound at `rate`
    // on the sink PULSE_SINK names, else the server's default, holding about `aheadBytes` ahead.
    bool open(std::uint32_t rate, std::uint8_t channels, std::uint32_t aheadBytes, std::string& error);
    bool isOpen() const { return m_socket >= 0; }
    // Hands `sound` (whole frames) to the server, waiting as long as it holds enough.
    bool write(std::string_view sound, std::string& error);
    // What the server still holds is dropped.
    bool flush(std::string& error);
    // Returns once the server has played what it holds.
    bool drain(std::string& error);
    void close();

private:
    bool connectSocket(std::string& error);
    bool authenticate(std::string& error);
    bool send(std::string_view bytes, std::string& error);
    bool receive(pulse::Descriptor& descriptor, std::string& payload, std::string& error);
    // The next command the server sends; `message` reads from `payload`.
    bool nextMessage(std::string& payload, pulse::Message& message, std::string& error);
    bool call(std::uint32_t command, const pulse::TagWriter& values, std::string& reply, std::string& error);
    bool waitForRoom(std::string& error);
    // A message the server sends of its own accord: more room, or the stream taken away.
    bool notice(const pulse::Message& message, std::string& error);
    bool fail(std::string& error, std::string message);

    int m_socket = -1;
    std::uint32_t m_nextTag = 0;
    std::uint32_t m_stream = 0;   // the stream's channel
    std::uint64_t m_room = 0;     // bytes the server has asked for and not yet had
};

} // namespace halvix
