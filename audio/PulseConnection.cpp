#include "audio/PulseConnection.h"

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace halvix {

namespace {

constexpr std::uint8_t kSampleS16LE = 3;
constexpr std::uint32_t kVolumeNormal = 0x10000;
constexpr std::uint32_t kDefault = 0xFFFFFFFFu; // "the server chooses", for a buffer's measures
constexpr std::uint32_t kNoIndex = 0xFFFFFFFFu;

enum ServerError : std::uint32_t { kAccess = 1, kInvalid = 3, kNoEntity = 5 };

std::string readCookie() {
    for (const std::string& file :
         pulse::cookieFiles(std::getenv("PULSE_COOKIE"), std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"))) {
        std::ifstream in(file, std::ios::binary);
        std::string cookie(std::istreambuf_iterator<char>(in), {});
        if (cookie.size() >= pulse::kCookieBytes)
            return cookie.substr(0, pulse::kCookieBytes);
    }
    // None: the server knows the program by the credentials that come with the request.
    return std::string(pulse::kCookieBytes, '\0');
}

// Waits for the socket to be readable; false after kWaitMs.
bool readable(int socket) {
    pollfd wait{socket, POLLIN, 0};
    int ready;
    do
        ready = ::poll(&wait, 1, PulseConnection::kWaitMs);
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}

} // namespace

bool PulseConnection::fail(std::string& error, std::string message) {
    error = std::move(message);
    close();
    return false;
}

bool PulseConnection::open(std::uint32_t rate, std::uint8_t channels, std::uint32_t aheadBytes, std::string& error) {
    close();
    if (!connectSocket(error) || !authenticate(error))
        return false;
    std::string reply;
    pulse::TagWriter client;
    client.properties({{"application.name", "halvix"}});
    if (!call(pulse::kSetClientName, client, reply, error))
        return false;

    const char* sink = std::getenv("PULSE_SINK");
    std::vector<std::uint8_t> positions{1, 2}; // front left, front right
    if (channels == 1)
        positions = {0};
    pulse::TagWriter stream;
    stream.sampleSpec(kSampleS16LE, channels, rate).channelMap(positions).u32(kNoIndex);
    if (sink && *sink)
        stream.string(sink);
    else
        stream.nullString();
    stream.u32(kDefault).boolean(false);                             // maximum length; not corked
    stream.u32(aheadBytes).u32(kDefault).u32(kDefault).u32(kNoIndex); // target, prebuffer, request, sync
    stream.channelVolumes(channels, kVolumeNormal);
    for (int i = 0; i < 7; ++i) // no remapping, remixing or fixing; may move; fixed rate
        stream.boolean(false);
    stream.boolean(false).boolean(true);        // not muted at start; latency adjusted to the target
    stream.properties({{"media.name", "bell"}});
    stream.boolean(false).boolean(false);       // no volume set; no early requests
    stream.boolean(false).boolean(false).boolean(false); // mute unset; may suspend; no fail on suspend
    stream.boolean(false).boolean(false);       // absolute volume; no passthrough
    stream.u8(0);                               // no format list: the sample format holds
    if (!call(pulse::kCreatePlaybackStream, stream, reply, error))
        return false;
    pulse::TagReader values(reply);
    std::uint32_t sinkInput = 0, room = 0;
    if (!values.u32(m_stream) || !values.u32(sinkInput) || !values.u32(room))
        return fail(error, "无法连接声音服务: 声音服务的回复无法识别");
    m_room = room;
    return true;
}

bool PulseConnection::connectSocket(std::string& error) {
    const auto sockets = pulse::serverSockets(std::getenv("PULSE_SERVER"), std::getenv("XDG_RUNTIME_DIR"), ::getuid());
    for (const std::string& path : sockets) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof(address.sun_path))
            continue;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            break;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
            m_socket = fd;
            m_nextTag = 0;
            return true;
        }
        ::close(fd);
    }
    error = "无法连接声音服务: 找不到运行中的声音服务";
    if (!sockets.empty())
        error += " (" + sockets.front() + ")";
    return false;
}

// The request carries the program's credentials, which admit it to a server of the same user
// without a cookie.
bool PulseConnection::authenticate(std::string& error) {
    pulse::TagWriter auth;
    auth.u32(pulse::kProtocolVersion).arbitrary(readCookie());
    const std::string packet = pulse::commandPacket(pulse::kAuth, m_nextTag++, auth);
    iovec data{const_cast<char*>(packet.data()), packet.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))] = {};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    cmsghdr* credentials = CMSG_FIRSTHDR(&message);
    credentials->cmsg_level = SOL_SOCKET;
    credentials->cmsg_type = SCM_CREDENTIALS;
    credentials->cmsg_len = CMSG_LEN(sizeof(ucred));
    const ucred self{::getpid(), ::getuid(), ::getgid()};
    std::memcpy(CMSG_DATA(credentials), &self, sizeof(self));
    ssize_t sent;
    do
        sent = ::sendmsg(m_socket, &message, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent < 0)
        return fail(error, "无法连接声音服务: 连接已断开");
    if (sent < ssize_t(packet.size()) && !send(std::string_view(packet).substr(std::size_t(sent)), error))
        return false;
    // The reply to the request just sent, the first tag.
    std::string payload;
    pulse::Message reply;
    do
        if (!nextMessage(payload, reply, error))
            return false;
    while (reply.tag != 0);
    return reply.command == pulse::kReply || fail(error, "无法连接声音服务: 声音服务拒绝了本程序的连接");
}

bool PulseConnection::nextMessage(std::string& payload, pulse::Message& message, std::string& error) {
    for (;;) {
        pulse::Descriptor descriptor;
        if (!receive(descriptor, payload, error))
            return false;
        // Nothing else is sent to a playback stream; what cannot be read is passed over.
        if (descriptor.channel == pulse::kCommandChannel && pulse::readMessage(payload, message))
            return true;
    }
}

bool PulseConnection::send(std::string_view bytes, std::string& error) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return fail(error, "声音服务中断: 连接已断开");
        bytes.remove_prefix(std::size_t(sent));
    }
    return true;
}

bool PulseConnection::receive(pulse::Descriptor& descriptor, std::string& payload, std::string& error) {
    auto readAll = [this](char* into, std::size_t size) {
        while (size > 0) {
            if (!readable(m_socket))
                return 0;
            const ssize_t got = ::recv(m_socket, into, size, 0);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return -1;
            into += got;
            size -= std::size_t(got);
        }
        return 1;
    };
    char header[pulse::kDescriptorBytes];
    int state = readAll(header, sizeof(header));
    if (state > 0) {
        descriptor = pulse::decodeDescriptor(std::string_view(header, sizeof(header)));
        if (descriptor.length > pulse::kMaxFrameBytes)
            return fail(error, "声音服务中断: 声音服务的数据无法识别");
        payload.resize(descriptor.length);
        state = readAll(payload.data(), payload.size());
    }
    if (state == 0)
        return fail(error, "声音服务中断: 声音服务无响应");
    if (state < 0)
        return fail(error, "声音服务中断: 连接已断开");
    return true;
}

bool PulseConnection::call(std::uint32_t command, const pulse::TagWriter& values, std::string& reply,
                           std::string& error) {
    const std::uint32_t tag = m_nextTag++;
    if (!send(pulse::commandPacket(command, tag, values), error))
        return false;
    std::string payload;
    for (;;) {
        pulse::Message message;
        if (!nextMessage(payload, message, error))
            return false;
        if (message.tag != tag || (message.command != pulse::kReply && message.command != pulse::kError)) {
            if (!notice(message, error))
                return false;
            continue;
        }
        if (message.command == pulse::kReply) {
            reply.assign(message.values);
            return true;
        }
        std::uint32_t code = 0;
        pulse::TagReader(message.values).u32(code);
        // The stream's format is fixed and valid: what the server finds amiss is the output's name.
        if (command == pulse::kCreatePlaybackStream && (code == kNoEntity || code == kInvalid))
        {
            const char* sink = std::getenv("PULSE_SINK");
            return fail(error, std::string("无法连接声音服务: 没有名为 ") + (sink ? sink : "") + " 的声音输出");
        }
        if (code == kAccess)
            return fail(error, "无法连接声音服务: 声音服务拒绝了本程序的连接");
        return fail(error, "声音服务中断: 声音服务报告错误 " + std::to_string(code));
    }
}

bool PulseConnection::notice(const pulse::Message& message, std::string& error) {
    pulse::TagReader values(message.values);
    std::uint32_t stream = 0, bytes = 0;
    if (message.command == pulse::kRequest && values.u32(stream) && values.u32(bytes) && stream == m_stream)
        m_room += bytes;
    else if (message.command == pulse::kPlaybackStreamKilled && values.u32(stream) && stream == m_stream)
        return fail(error, "声音服务中断: 声音服务关闭了播放");
    return true;
}

bool PulseConnection::waitForRoom(std::string& error) {
    std::string payload;
    while (m_room == 0) {
        pulse::Message message;
        if (!nextMessage(payload, message, error) || !notice(message, error))
            return false;
    }
    return true;
}

bool PulseConnection::write(std::string_view sound, std::string& error) {
    if (!isOpen())
        return fail(error, "声音服务中断: 连接已断开");
    while (!sound.empty()) {
        if (!waitForRoom(error))
            return false;
        const auto size = std::size_t(std::min<std::uint64_t>({m_room, sound.size(), 64 * 1024}));
        if (!send(pulse::soundHeader(m_stream, std::uint32_t(size)), error) || !send(sound.substr(0, size), error))
            return false;
        m_room -= size;
        sound.remove_prefix(size);
    }
    return true;
}

bool PulseConnection::flush(std::string& error) {
    std::string reply;
    return isOpen() && call(pulse::kFlushPlaybackStream, pulse::TagWriter().u32(m_stream), reply, error);
}

bool PulseConnection::drain(std::string& error) {
    std::string reply;
    return isOpen() && call(pulse::kDrainPlaybackStream, pulse::TagWriter().u32(m_stream), reply, error);
}

void PulseConnection::close() {
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
    m_room = 0;
}

} // namespace halvix
