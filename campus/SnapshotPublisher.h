#pragma once

#include "campus/SnapshotBuilder.h"
#include "campus/Topics.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace halvix::campus {

// What the broker holds of the shared plan, as far as the central knows: the retained snapshot's
// content and revision, and the sounds retained for it.
struct BrokerHoldings {
    std::optional<std::string> fingerprint; // nothing: the broker holds no snapshot
    std::uint64_t revision = 0;
    std::set<std::string> sounds;
};

struct Publication {
    enum class Outcome {
        Unchanged, // the broker holds this content already: nothing sent
        Sent,      // the sounds and the snapshot are with the link; the broker's echo confirms them
        Failed,    // problem says why; nothing of the snapshot was sent
    };
    Outcome outcome = Outcome::Failed;
    std::uint64_t revision = 0;
    std::string fingerprint;
    std::string problem;
    std::vector<std::string> skipped;    // sounds of voic/ left out, with the reason
    std::vector<std::string> soundsSent; // their hashes
};

// Hands one retained message to the connection; false when it could not be sent.
using RetainedSend = std::function<bool(const std::string& topic, std::string payload)>;

// Builds the snapshot of `folder` and, when its content differs from what the broker holds, sends
// every sound the broker lacks and then the snapshot, under the next revision after the one stored
// in the folder and the broker's (whichever is higher: a central restored from an old backup must
// still publish a revision nodes take). The revision is not stored here: only the broker's echo
// says the snapshot went out. Sounds are read one at a time and checked against their hash again,
// so a file changed while it was being sent never goes out under a wrong hash.
Publication publishSnapshot(const std::filesystem::path& folder, const Topics& topics,
                            const BrokerHoldings& holdings, SoundHashCache& cache, const RetainedSend& send);

} // namespace halvix::campus
