#pragma once

#include "campus/Snapshot.h"
#include "campus/SnapshotApplier.h"
#include "campus/SoundRepair.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvix::campus {

// A node's side of the shared plan: takes the snapshot and the sounds' bytes as they arrive, in any
// order the broker delivers them, and applies the snapshot once every sound it lacks is there.
//
// Only the bytes of sounds the waiting snapshot lacks are kept (the connection subscribes to those
// sounds' topics, and the broker hands the retained bytes over on subscription), so what is held
// in memory is bounded by the snapshot's own limits. Bytes that do not match their hash refuse the
// whole snapshot: the node keeps ringing its previous copy. So does a snapshot that could not be
// applied (a database busy for longer than its timeout): subscribing to the snapshot's topic again
// offers the retained snapshot anew.
//
// The snapshot of the revision already applied (the broker hands it over at every connect) has
// the held sounds checked against their hashes: what was deleted or damaged since is fetched and
// put back, the revision unchanged.
class SnapshotReceiver {
public:
    enum class Result {
        Nothing,  // nothing changed: the same revision with every sound intact, or bytes nobody waits for
        Waiting,  // a newer snapshot, or the repair of the applied one, waits for the sounds in wanted()
        Applied,  // the snapshot is in place; reload the plan
        Refused,  // problem() says why; the previous copy stays
        Repaired, // sounds of the applied revision were put back (repaired()), or failed to be (damaged())
    };

    explicit SnapshotReceiver(std::filesystem::path folder, SnapshotLimits limits = {})
        : m_folder(std::move(folder)), m_limits(limits), m_repair(m_folder) {}

    Result offerSnapshot(std::string_view payload);
    Result offerSound(const std::string& sha256, std::string bytes);

    // The hashes the waiting snapshot, or the repair, still lacks.
    std::vector<std::string> wanted() const;
    // The sounds the last offer put back, and those of the applied revision still damaged.
    const std::vector<DamagedSound>& repaired() const { return m_repaired; }
    const std::vector<DamagedSound>& damaged() const { return m_repair.damaged(); }
    // Safe from any thread: a check of the held sounds under way ends early (the program quits).
    void stop() { m_stop = true; }
    const std::string& problem() const { return m_problem; }
    // The revision of the waiting snapshot, or of the last one applied or refused.
    std::uint64_t revision() const { return m_revision; }

private:
    Result refuse(std::string problem);
    Result applyWhenComplete();
    Result checkHeldSounds(const Snapshot& applied);

    std::filesystem::path m_folder;
    SnapshotLimits m_limits;
    std::optional<Snapshot> m_waiting;
    std::vector<std::string> m_lacking;
    SoundBytes m_bytes;
    std::string m_problem;
    std::uint64_t m_revision = 0;
    SoundRepair m_repair;
    std::vector<DamagedSound> m_repaired;
    std::atomic<bool> m_stop = false;
};

} // namespace halvix::campus
