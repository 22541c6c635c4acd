#pragma once

#include "campus/Snapshot.h"

#include <atomic>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace halvix::campus {

// A sound of a snapshot that voic/ lacks (absent, or not a plain file) or holds with other content.
struct DamagedSound {
    SnapshotSound sound;
    bool missing = false; // absent rather than of other content
    std::string problem;  // why it cannot be put back; empty while it may be
    bool operator==(const DamagedSound&) const = default;
};

// Every sound of `snapshot` whose file under folder/voic does not hold its hash, in snapshot order.
// Each file is read whole. `stop`, set from another thread, ends the check early with what it
// found so far (a program that quits does not wait for it).
std::vector<DamagedSound> damagedSounds(const std::filesystem::path& folder, const Snapshot& snapshot,
                                        const std::atomic<bool>* stop = nullptr);

// Puts back the sounds of the plan a building already applied that were deleted or damaged since,
// without a new revision: the snapshot names each sound by its hash, and the broker keeps the
// bytes under that hash. Each file is written beside its place, flushed and renamed in, as an
// apply writes sounds; the tables and the revision are not touched.
class SoundRepair {
public:
    explicit SoundRepair(std::filesystem::path folder) : m_folder(std::move(folder)) {}

    // Checks the held sounds against `snapshot`, the applied revision's; what does not match waits
    // for its bytes. Replaces what an earlier check found.
    void check(const Snapshot& snapshot, const std::atomic<bool>* stop = nullptr);
    // Bytes that arrived under `sha256`: written in place of every damaged sound with that hash.
    // Returns the sounds put back. Bytes that do not match the hash and size, or a file that cannot
    // be written, leave those sounds damaged with the reason.
    std::vector<DamagedSound> offer(const std::string& sha256, std::string_view bytes);

    // The hashes still waited for, each once.
    std::vector<std::string> wanted() const;
    // The sounds not put back yet.
    const std::vector<DamagedSound>& damaged() const { return m_damaged; }
    void clear() { m_damaged.clear(); }

private:
    std::filesystem::path m_folder;
    std::vector<DamagedSound> m_damaged;
};

} // namespace halvix::campus
