#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The sound server's native protocol, as much of it as a playback stream needs: its packets and the
// tagged values they carry. Free of sockets, so what the server sends can be read and tested alone.
namespace halvix::pulse {

enum Command : std::uint32_t {
    kError = 0,
    kTimeout = 1,
    kReply = 2,
    kCreatePlaybackStream = 3,
    kAuth = 8,
    kSetClientName = 9,
    kDrainPlaybackStream = 12,
    kFlushPlaybackStream = 42,
    kRequest = 61,
    kPlaybackStreamKilled = 64,
};

// Version 32: the format list in a new stream and no shared memory asked for, so every byte goes
// through the socket (a bell's few hundred kB a second need no more).
constexpr std::uint32_t kProtocolVersion = 32;
constexpr std::size_t kCookieBytes = 256;
constexpr std::size_t kDescriptorBytes = 20;
constexpr std::uint32_t kCommandChannel = 0xFFFFFFFFu;
// The server reads no frame larger than this; neither does the program.
constexpr std::uint32_t kMaxFrameBytes = 16u * 1024 * 1024;

// A packet's header: the payload's length, its channel (kCommandChannel for a command, else a
// stream's), a seek offset and flags.
struct Descriptor {
    std::uint32_t length = 0;
    std::uint32_t channel = kCommandChannel;
    std::uint32_t offsetHigh = 0;
    std::uint32_t offsetLow = 0;
    std::uint32_t flags = 0;
};

std::string encodeDescriptor(const Descriptor& descriptor);
Descriptor decodeDescriptor(std::string_view bytes); // kDescriptorBytes of them

// The tagged values of a command, written in the server's order.
class TagWriter {
public:
    TagWriter& u8(std::uint8_t value);
    TagWriter& u32(std::uint32_t value);
    TagWriter& boolean(bool value);
    TagWriter& string(std::string_view value); // must not hold a NUL
    TagWriter& nullString();
    TagWriter& arbitrary(std::string_view bytes);
    TagWriter& sampleSpec(std::uint8_t format, std::uint8_t channels, std::uint32_t rate);
    TagWriter& channelMap(const std::vector<std::uint8_t>& positions);
    TagWriter& channelVolumes(std::uint8_t channels, std::uint32_t volume);
    TagWriter& properties(const std::vector<std::pair<std::string, std::string>>& texts);

    const std::string& bytes() const { return m_bytes; }

private:
    void raw32(std::uint32_t value);
    std::string m_bytes;
};

// Reads tagged values; every call is false, and leaves the value alone, once the bytes end or a
// tag is not the one asked for.
class TagReader {
public:
    explicit TagReader(std::string_view bytes) : m_bytes(bytes) {}
    bool u32(std::uint32_t& value);
    bool atEnd() const { return m_position == m_bytes.size(); }

private:
    std::string_view m_bytes;
    std::size_t m_position = 0;
};

// A whole command packet: its header, then the command, its tag and the values.
std::string commandPacket(std::uint32_t command, std::uint32_t tag, const TagWriter& values = {});

// The header of `length` bytes of sound for the stream on `channel`, played after what it holds.
std::string soundHeader(std::uint32_t channel, std::uint32_t length);

// A command from the server, as far as its command and tag: `values` are the rest.
struct Message {
    std::uint32_t command = kError;
    std::uint32_t tag = 0;
    std::string_view values;
};
bool readMessage(std::string_view payload, Message& message);

// The sockets to try, in order: PULSE_SERVER's Unix sockets ("unix:/path" or a path, the list
// separated by spaces, a "{machine}" prefix ignored; other kinds are passed over), else the
// session's own and then the system's.
std::vector<std::string> serverSockets(const char* pulseServer, const char* runtimeDir, unsigned uid);

// Where the server's cookie may be: PULSE_COOKIE, then the user's configuration, then the old place.
std::vector<std::string> cookieFiles(const char* pulseCookie, const char* configHome, const char* home);

} // namespace halvix::pulse
