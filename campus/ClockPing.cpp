#include "campus/ClockPing.h"

#include "common/IdText.h"
#include "common/JsonInput.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace halvix::campus {

namespace {

using nlohmann::json;

constexpr std::size_t kMaxPingPayload = 1024;
constexpr std::size_t kMaxPingsOut = 16;

// A time field: a non-negative integer of milliseconds.
bool readTime(const json& root, const char* key, std::int64_t& out) {
    const auto value = integerField(root, key);
    if (!value || *value < 0)
        return false;
    out = *value;
    return true;
}

std::optional<json> readFormatOne(std::string_view payload, std::string& problem) {
    auto root = readJsonObject(payload, kMaxPingPayload, 1, problem);
    if (root && unsignedField(*root, "format") != 1u) {
        problem = "时钟消息的格式版本未知";
        return std::nullopt;
    }
    return root;
}

} // namespace

std::string writePing(const Ping& ping) {
    return json{{"format", 1}, {"node", ping.node}, {"t0", ping.t0}}.dump();
}

std::string writePong(const Pong& pong) {
    return json{{"format", 1}, {"t0", pong.t0}, {"t1", pong.t1}, {"t2", pong.t2}}.dump();
}

PingRead readPing(std::string_view payload) {
    PingRead read;
    const auto root = readFormatOne(payload, read.problem);
    if (!root)
        return read;
    const auto node = textField(*root, "node");
    if (!node || !isValidId(*node) || !readTime(*root, "t0", read.ping.t0))
        read = {{}, "时钟询问的节点编号或时间无效"};
    else
        read.ping.node = *node;
    return read;
}

PongRead readPong(std::string_view payload) {
    PongRead read;
    const auto root = readFormatOne(payload, read.problem);
    if (!root)
        return read;
    Pong& pong = read.pong;
    if (!readTime(*root, "t0", pong.t0) || !readTime(*root, "t1", pong.t1) ||
        !readTime(*root, "t2", pong.t2) || pong.t2 < pong.t1)
        read = {{}, "时钟回答的时间无效"};
    return read;
}

Ping ClockPinger::ping(std::string node, std::int64_t nowMs) {
    m_sent.push_back(nowMs);
    if (m_sent.size() > kMaxPingsOut)
        m_sent.pop_front();
    return {std::move(node), nowMs};
}

bool ClockPinger::answer(const Pong& pong, std::int64_t nowMs) {
    const auto sent = std::find(m_sent.begin(), m_sent.end(), pong.t0);
    if (sent == m_sent.end())
        return false;
    m_sent.erase(sent);
    const std::int64_t roundTrip = (nowMs - pong.t0) - (pong.t2 - pong.t1);
    if (nowMs < pong.t0 || roundTrip < 0 || roundTrip > kMaxRoundTripMs)
        return false;
    const double offset =
        (static_cast<double>(pong.t1 - pong.t0) + static_cast<double>(pong.t2 - nowMs)) / 2.0;
    m_samples.push_back({offset, roundTrip});
    if (m_samples.size() > kSamples)
        m_samples.pop_front();
    return true;
}

std::optional<double> ClockPinger::offsetMs() const {
    if (m_samples.empty())
        return std::nullopt;
    return std::min_element(m_samples.begin(), m_samples.end(),
                            [](const Sample& a, const Sample& b) { return a.roundTripMs < b.roundTripMs; })
        ->offsetMs;
}

} // namespace halvix::campus
