#pragma once

#include "campus/Snapshot.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace halvix::campus {

struct SnapshotBuild {
    Snapshot snapshot;
    // Files under voic/ left out, each with its reason: a name no node would accept, a size over
    // the limit, a link that leads out of voic/. The plan still goes out; the sound check of a node names
    // what it lacks.
    std::vector<std::string> skipped;
    std::string problem; // empty: built
    bool ok() const { return problem.empty(); }
};

// The hashes of sounds already read, by path, size and modification time, so that building again
// (after every save, and at every periodic check) reads only the files that changed.
class SoundHashCache {
public:
    std::optional<std::string> hashOf(const std::filesystem::path& file, std::uintmax_t size);

private:
    struct Known {
        std::uintmax_t size = 0;
        std::filesystem::file_time_type modified;
        std::string sha256;
    };
    std::map<std::filesystem::path, Known> m_known;
};

// The central's snapshot of its program folder under `revision`: the shared tables of jbase.mdb
// (a database without the calendar shares an empty one), xqno.txt, and every file under voic/
// with its hash and size. Fails, with the reason, when the database or xqno.txt cannot be read:
// a node must never receive half a plan.
SnapshotBuild buildSnapshot(const std::filesystem::path& folder, std::uint64_t revision,
                            const SnapshotLimits& limits = {}, SoundHashCache* cache = nullptr);

// What a snapshot shares, without its revision: equal fingerprints, nothing new to publish.
std::string contentFingerprint(Snapshot snapshot);

} // namespace halvix::campus
