#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace halvix::campus {

enum class CampusRole { Central, Node };

struct Zone {
    std::string id;   // ASCII, used in topics
    std::string name; // as people call it: 教学楼
    bool operator==(const Zone&) const = default;
};

struct BrokerAddress {
    bool tls = true;
    std::string host;
    int port = 8883;
    bool operator==(const BrokerAddress&) const = default;
};

// This machine's part in a campus, from campus.ini in the program folder.
struct CampusConfig {
    CampusRole role = CampusRole::Node;
    std::string campus = "campus"; // the topics' root: halvix/<campus>/...
    std::string nodeId;
    std::string name;
    std::vector<Zone> zones;
    BrokerAddress broker;
    std::filesystem::path caFile;
    std::filesystem::path certFile;
    std::filesystem::path keyFile;
    std::string user;
    std::filesystem::path passwordFile;

    // The ids of its zones, in the file's order.
    std::vector<std::string> zoneIds() const;
};

inline constexpr const char* kCampusConfigFileName = "campus.ini";

struct CampusConfigRead {
    // Absent: no campus, the program opens no socket. Invalid: errors say why, and the program
    // rings its own copy without connecting, as it would alone.
    enum class State { Absent, Valid, Invalid };
    State state = State::Absent;
    CampusConfig config;
    std::vector<std::string> errors;   // one Chinese line each, naming the line of the file
    std::vector<std::string> warnings; // e.g. a key file others may read
};

// campus.ini, lines of "key = value" (keys in any case; '#' or ';' begin a comment, an optional [campus]
// header):
//
//   role = node                       central (主控) or node
//   campus = school1                  optional, the topics' root (ASCII id, default "campus")
//   id = building-a                   this node's id: ASCII letters, digits, '-', '_'
//   name = 教学楼A                     its name as people call it
//   zones = teach:教学楼, lab:实验楼    optional; id:name, separated by ',' (full-width ，： too)
//   broker = mqtts://broker.school.lan:8883   mqtt:// only to this machine (localhost, 127.x, ::1)
//   ca = certs/ca.crt                 required with mqtts; paths relative to the program folder
//   cert = certs/building-a.crt       this node's certificate and key, or:
//   key = certs/building-a.key
//   user = building-a                 a user name with the file that holds its password
//   password_file = certs/building-a.pass
//
// The file is read as UTF-8 or, failing that, as code page 936 (as Windows Notepad saves it).
CampusConfigRead readCampusConfig(const std::filesystem::path& folder);
CampusConfigRead parseCampusConfig(std::string_view text, const std::filesystem::path& folder);

// "mqtts://host[:port]" or "mqtt://host[:port]"; empty `problem` when it reads.
BrokerAddress readBrokerUrl(std::string_view url, std::string& problem);
bool isLoopbackHost(std::string_view host);

} // namespace halvix::campus
