#include "audio/PulseProtocol.h"

#include <sstream>

namespace halvix::pulse {

namespace {

enum Tag : char {
    kTagString = 't',
    kTagNullString = 'N',
    kTagU32 = 'L',
    kTagU8 = 'B',
    kTagSampleSpec = 'a',
    kTagArbitrary = 'x',
    kTagTrue = '1',
    kTagFalse = '0',
    kTagChannelMap = 'm',
    kTagChannelVolumes = 'v',
    kTagProperties = 'P',
};

void putBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

std::uint32_t bigEndianAt(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

} // namespace

std::string encodeDescriptor(const Descriptor& d) {
    std::string out;
    for (const std::uint32_t value : {d.length, d.channel, d.offsetHigh, d.offsetLow, d.flags})
        putBigEndian(out, value);
    return out;
}

Descriptor decodeDescriptor(std::string_view bytes) {
    return {bigEndianAt(bytes, 0), bigEndianAt(bytes, 4), bigEndianAt(bytes, 8), bigEndianAt(bytes, 12),
            bigEndianAt(bytes, 16)};
}

void TagWriter::raw32(std::uint32_t value) { putBigEndian(m_bytes, value); }

TagWriter& TagWriter::u8(std::uint8_t value) {
    m_bytes.push_back(kTagU8);
    m_bytes.push_back(static_cast<char>(value));
    return *this;
}

TagWriter& TagWriter::u32(std::uint32_t value) {
    m_bytes.push_back(kTagU32);
    raw32(value);
    return *this;
}

TagWriter& TagWriter::boolean(bool value) {
    m_bytes.push_back(value ? kTagTrue : kTagFalse);
    return *this;
}

TagWriter& TagWriter::string(std::string_view value) {
    m_bytes.push_back(kTagString);
    m_bytes.append(value);
    m_bytes.push_back('\0');
    return *this;
}

TagWriter& TagWriter::nullString() {
    m_bytes.push_back(kTagNullString);
    return *this;
}

TagWriter& TagWriter::arbitrary(std::string_view bytes) {
    m_bytes.push_back(kTagArbitrary);
    raw32(static_cast<std::uint32_t>(bytes.size()));
    m_bytes.append(bytes);
    return *this;
}

TagWriter& TagWriter::sampleSpec(std::uint8_t format, std::uint8_t channels, std::uint32_t rate) {
    m_bytes.push_back(kTagSampleSpec);
    m_bytes.push_back(static_cast<char>(format));
    m_bytes.push_back(static_cast<char>(channels));
    raw32(rate);
    return *this;
}

TagWriter& TagWriter::channelMap(const std::vector<std::uint8_t>& positions) {
    m_bytes.push_back(kTagChannelMap);
    m_bytes.push_back(static_cast<char>(positions.size()));
    for (const std::uint8_t position : positions)
        m_bytes.push_back(static_cast<char>(position));
    return *this;
}

TagWriter& TagWriter::channelVolumes(std::uint8_t channels, std::uint32_t volume) {
    m_bytes.push_back(kTagChannelVolumes);
    m_bytes.push_back(static_cast<char>(channels));
    for (std::uint8_t i = 0; i < channels; ++i)
        raw32(volume);
    return *this;
}

// Each text as the server's property lists hold it: its bytes and the NUL that ends them.
TagWriter& TagWriter::properties(const std::vector<std::pair<std::string, std::string>>& texts) {
    m_bytes.push_back(kTagProperties);
    for (const auto& [key, value] : texts) {
        string(key);
        const std::string_view stored(value.c_str(), value.size() + 1);
        u32(static_cast<std::uint32_t>(stored.size()));
        arbitrary(stored);
    }
    return nullString();
}

bool TagReader::u32(std::uint32_t& value) {
    if (m_bytes.size() - m_position < 5 || m_bytes[m_position] != kTagU32)
        return false;
    value = bigEndianAt(m_bytes, m_position + 1);
    m_position += 5;
    return true;
}

std::string commandPacket(std::uint32_t command, std::uint32_t tag, const TagWriter& values) {
    TagWriter head;
    head.u32(command).u32(tag);
    Descriptor descriptor;
    descriptor.length = static_cast<std::uint32_t>(head.bytes().size() + values.bytes().size());
    return encodeDescriptor(descriptor) + head.bytes() + values.bytes();
}

std::string soundHeader(std::uint32_t channel, std::uint32_t length) {
    Descriptor descriptor;
    descriptor.length = length;
    descriptor.channel = channel;
    return encodeDescriptor(descriptor); // offset 0 and seek mode 0: relative to the write index
}

bool readMessage(std::string_view payload, Message& message) {
    TagReader reader(payload);
    if (!reader.u32(message.command) || !reader.u32(message.tag))
        return false;
    message.values = payload.substr(10);
    return true;
}

std::vector<std::string> serverSockets(const char* pulseServer, const char* runtimeDir, unsigned uid) {
    std::vector<std::string> sockets;
    if (pulseServer && *pulseServer) {
        std::istringstream list(pulseServer);
        std::string entry;
        while (list >> entry) {
            if (entry.front() == '{') {
                const auto close = entry.find('}');
                entry = close == std::string::npos ? std::string() : entry.substr(close + 1);
            }
            if (entry.rfind("unix:", 0) == 0)
                entry.erase(0, 5);
            if (!entry.empty() && entry.front() == '/')
                sockets.push_back(entry);
        }
        return sockets;
    }
    if (runtimeDir && *runtimeDir)
        sockets.push_back(std::string(runtimeDir) + "/pulse/native");
    const std::string userSocket = "/run/user/" + std::to_string(uid) + "/pulse/native";
    if (sockets.empty() || sockets.front() != userSocket)
        sockets.push_back(userSocket);
    sockets.emplace_back("/var/run/pulse/native");
    return sockets;
}

std::vector<std::string> cookieFiles(const char* pulseCookie, const char* configHome, const char* home) {
    std::vector<std::string> files;
    if (pulseCookie && *pulseCookie)
        files.emplace_back(pulseCookie);
    if (configHome && *configHome)
        files.push_back(std::string(configHome) + "/pulse/cookie");
    if (home && *home) {
        files.push_back(std::string(home) + "/.config/pulse/cookie");
        files.push_back(std::string(home) + "/.pulse-cookie");
    }
    return files;
}

} // namespace halvix::pulse
