#pragma once

#include "store/TextTable.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace halvix::campus {

// One sound of the shared plan: its name under voic/, and its content's hash and size. The bytes
// travel on their own topic named after the hash.
struct SnapshotSound {
    std::string name;
    std::string sha256;
    std::uint64_t size = 0;
    bool operator==(const SnapshotSound&) const = default;
};

// One shared table, its rows flattened (row after row, columns.size() cells each).
struct SnapshotTable {
    std::string name;
    TextList columns;
    TextList cells;
    bool operator==(const SnapshotTable&) const = default;
};

// Everything a node rings from: the shared tables, the school week (the text of xqno.txt) and the
// sounds, under a revision that grows with every publication.
struct Snapshot {
    std::uint64_t revision = 0;
    std::string week;
    std::vector<SnapshotTable> tables;
    std::vector<SnapshotSound> sounds;
    bool operator==(const Snapshot&) const = default;
};

inline constexpr int kSnapshotFormat = 1;

// Bounds on what a node accepts: a snapshot is untrusted input until it passed every check.
struct SnapshotLimits {
    std::size_t maxPayload = 16u << 20;
    std::size_t maxRows = 20000;
    std::size_t maxCell = 4096;
    std::size_t maxSounds = 2000;
    std::uint64_t maxSoundSize = 256ull << 20;
    std::uint64_t maxTotalSoundSize = 2048ull << 20;
};

// The snapshot as JSON:
//   {"format":1, "revision":7, "week":"1125",
//    "tables":[{"name":"cjtime", "columns":["序号",...], "rows":[["1","","07:30:00",...], ...]}, ...],
//    "sounds":[{"name":"上课.mp3", "sha256":"<64 hex>", "size":12345}, ...]}
std::string writeSnapshot(const Snapshot& snapshot);

// A snapshot read and checked whole, or the reason it was refused (Chinese). Accepted only when:
// the payload is JSON within the limits; every shared table is there once with its own columns
// and rows of exactly that many text cells; no other table; the week is 1 to 9 digits; every sound
// has a well-formed name inside voic/ (soundNameProblem), a well-formed hash and a bounded size,
// no two sounds share a name and no sound's name is the folder of another. Unknown fields are
// ignored, so that a later central may add some.
struct SnapshotRead {
    Snapshot snapshot;
    std::string problem; // empty: accepted
    bool ok() const { return problem.empty(); }
};
SnapshotRead readSnapshot(std::string_view payload, const SnapshotLimits& limits = {});

// A node takes only a newer revision than the one it applied. Same revision: nothing to do (a
// retained snapshot is delivered again at every reconnect); older: refused with this reason.
enum class RevisionStep { Newer, Same, Older };
RevisionStep revisionStep(std::uint64_t offered, std::uint64_t applied);

} // namespace halvix::campus
