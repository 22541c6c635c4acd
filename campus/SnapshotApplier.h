#pragma once

#include "campus/Snapshot.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace halvix::campus {

// Sounds' bytes as they arrived, by their hash.
using SoundBytes = std::map<std::string, std::string>;

// The hashes of the snapshot's sounds that voic/ does not already hold under their name with that
// content, each once: what the node still has to fetch before it can apply.
std::vector<std::string> missingSounds(const std::filesystem::path& folder, const Snapshot& snapshot);

// Applies a checked snapshot to the program folder, all or nothing:
//  - every sound that voic/ lacks is taken from `bytes` and must match its hash and size;
//  - sounds and xqno.txt are written as temporary files beside their place and flushed to the
//    disk, then renamed over it (the replaced files kept as links until the end, to be put back
//    on failure) and their folders flushed;
//  - only then the shared tables are replaced, and the revision recorded, in one transaction: a
//    power cut never leaves a revision whose sounds are not on the disk.
// A revision that is not newer than the one applied is refused (revisionStep tells a caller
// beforehand). On any failure the database, voic/ and xqno.txt stay as they were and the reason
// is returned.
// Files of voic/ the snapshot does not name are left alone: they may be the building's own.
// Returns an empty text on success.
std::string applySnapshot(const std::filesystem::path& folder, const Snapshot& snapshot,
                          const SoundBytes& bytes);

// The revision last applied (a node) or published (the central), kept in jbase.mdb beside the
// tables it belongs to: 0 when none, nothing when the database cannot be read.
std::optional<std::uint64_t> storedRevision(const std::filesystem::path& folder);
bool storeRevision(const std::filesystem::path& folder, std::uint64_t revision);

// Removes temporary files an apply that was cut short (power loss) left under voic/. The tables
// and the revision were then not committed, so the same snapshot is applied again in full.
void removeApplyLeftovers(const std::filesystem::path& folder);

} // namespace halvix::campus
