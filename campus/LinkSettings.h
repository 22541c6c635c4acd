#pragma once

#include "campus/CampusConfig.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace halvix::campus {

// One message to send. QoS 1 unless said; `expirySeconds` 0 means it never expires on the broker.
struct OutMessage {
    std::string topic;
    std::string payload;
    int qos = 1;
    bool retain = false;
    std::uint32_t expirySeconds = 0;
};

// How to reach the broker and who this program is there.
struct LinkSettings {
    BrokerAddress broker;
    std::string clientId;
    std::filesystem::path caFile;
    std::filesystem::path certFile;
    std::filesystem::path keyFile;
    std::string user;
    std::string password;
    int keepAliveSeconds = 30;
    // The broker keeps the session (subscriptions, undelivered QoS 1 messages) this long after a
    // disconnect, so that a node offline for a while gets its unexpired commands when it returns.
    // 0: a clean session each time (a one-off command line connection).
    std::uint32_t sessionExpirySeconds = 7 * 86400;
    // Published retained by the broker when the connection is lost without a clean disconnect.
    std::optional<OutMessage> will;
    // The same message, published when the link stops cleanly (the broker sends no will then).
    bool publishWillOnStop = true;
};

// The settings for this node from its campus.ini: client id and user from the node's id, the
// password read from its file. `problem` says why when the password file cannot be read.
LinkSettings linkSettingsOf(const CampusConfig& config, std::string& problem);

} // namespace halvix::campus
