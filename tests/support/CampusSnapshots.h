#pragma once

#include "campus/Sha256.h"
#include "campus/SharedTables.h"
#include "campus/Snapshot.h"

#include <nlohmann/json.hpp>

#include <string>

namespace halvix::test {

// A snapshot that passes every check: every shared table (one row in cjtime), the school week and
// one sound whose bytes are kSoundBytes.
inline const std::string kSoundBytes = "RIFF-the-bell";

inline campus::Snapshot validSnapshot(std::uint64_t revision = 5) {
    campus::Snapshot snapshot;
    snapshot.revision = revision;
    snapshot.week = "1125";
    for (const campus::SharedTable& shared : campus::sharedTables()) {
        campus::SnapshotTable table{shared.name, shared.columns, {}};
        if (shared.name == "cjtime")
            table.cells = {"1", "", "07:30:00", "起床", "上课.mp3", "待完", ""};
        snapshot.tables.push_back(table);
    }
    snapshot.sounds.push_back({"上课.mp3", campus::sha256Hex(kSoundBytes), kSoundBytes.size()});
    return snapshot;
}

inline nlohmann::json validSnapshotJson() {
    return nlohmann::json::parse(campus::writeSnapshot(validSnapshot()));
}

} // namespace halvix::test
