#pragma once

#include <string>
#include <string_view>

namespace halvix::campus {

// Where everything of one campus travels on the broker, under halvix/<campus>/:
//
//   snapshot            the shared plan, retained (Snapshot.h); only the central writes it
//   sound/<sha256>      one sound's bytes, retained, named after their content's SHA-256
//   cmd/node/<node>     commands to one node (Command.h)
//   cmd/zone/<zone>     commands to every node of a zone
//   cmd/all             commands to every node
//   status/<node>       the node's health, retained; the broker's last will says offline
//   ack/<node>          the node's answer to each command
//   log/<node>          the node's ring-log rows
//   today/<node>        the node's plan of the day with each entry's state, retained
//   ping/<node>         the node's clock reading, answered by the central on pong/<node>
//   emergency           the emergency broadcast's state, retained (emergency/EmergencyState.h)
//   sounds              the shared plan's sound names, retained (SoundList.h); the central writes it
//
// Node, zone and campus ids are ASCII (isValidId, common/IdText.h): they are topic levels and broker user
// names, so they never hold '/', '+', '#' or anything a shell or an ACL file would read differently. The
// Chinese names of nodes and zones live in campus.ini and in the status, never in a topic.
class Topics {
public:
    explicit Topics(std::string campusId) : m_root("halvix/" + std::move(campusId)) {}

    std::string snapshot() const { return m_root + "/snapshot"; }
    std::string sound(std::string_view sha256) const { return m_root + "/sound/" + std::string(sha256); }
    std::string nodeCommands(std::string_view node) const {
        return m_root + "/cmd/node/" + std::string(node);
    }
    std::string zoneCommands(std::string_view zone) const {
        return m_root + "/cmd/zone/" + std::string(zone);
    }
    std::string allCommands() const { return m_root + "/cmd/all"; }
    std::string status(std::string_view node) const { return m_root + "/status/" + std::string(node); }
    std::string ack(std::string_view node) const { return m_root + "/ack/" + std::string(node); }
    std::string log(std::string_view node) const { return m_root + "/log/" + std::string(node); }
    std::string today(std::string_view node) const { return m_root + "/today/" + std::string(node); }
    std::string ping(std::string_view node) const { return m_root + "/ping/" + std::string(node); }
    std::string pong(std::string_view node) const { return m_root + "/pong/" + std::string(node); }
    std::string emergency() const { return m_root + "/emergency"; }
    std::string sounds() const { return m_root + "/sounds"; }

    // The hash of a sound topic of this campus; empty for any other topic.
    std::string soundHashOf(std::string_view topic) const;

private:
    std::string m_root;
};

} // namespace halvix::campus
