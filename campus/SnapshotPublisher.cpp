#include "campus/SnapshotPublisher.h"

#include "campus/Sha256.h"
#include "campus/SnapshotApplier.h"
#include "common/PathText.h"
#include "common/TextFile.h"

#include <algorithm>

namespace halvix::campus {

namespace {

Publication failed(std::string problem) {
    Publication publication;
    publication.problem = std::move(problem);
    return publication;
}

} // namespace

Publication publishSnapshot(const std::filesystem::path& folder, const Topics& topics,
                            const BrokerHoldings& holdings, SoundHashCache& cache, const RetainedSend& send) {
    SnapshotBuild build = buildSnapshot(folder, 0, {}, &cache);
    if (!build.ok())
        return failed(build.problem);
    Publication publication;
    publication.skipped = std::move(build.skipped);
    publication.fingerprint = contentFingerprint(build.snapshot);
    if (holdings.fingerprint == publication.fingerprint) {
        publication.outcome = Publication::Outcome::Unchanged;
        publication.revision = holdings.revision;
        return publication;
    }
    const auto stored = storedRevision(folder);
    if (!stored)
        return failed("无法读取已发布的版本号");
    publication.revision = std::max(*stored, holdings.revision) + 1;
    build.snapshot.revision = publication.revision;

    for (const SnapshotSound& sound : build.snapshot.sounds) {
        if (holdings.sounds.count(sound.sha256) ||
            std::find(publication.soundsSent.begin(), publication.soundsSent.end(), sound.sha256) !=
                publication.soundsSent.end())
            continue;
        auto bytes = readFileContent(folder / "voic" / pathFromUtf8(sound.name));
        if (!bytes || sha256Hex(*bytes) != sound.sha256)
            return failed("声音 " + sound.name + " 在发布时无法读取或已改变, 稍后再发布");
        if (!send(topics.sound(sound.sha256), std::move(*bytes)))
            return failed("声音 " + sound.name + " 未能发出");
        publication.soundsSent.push_back(sound.sha256);
    }
    if (!send(topics.snapshot(), writeSnapshot(build.snapshot)))
        return failed("共享计划未能发出");
    publication.outcome = Publication::Outcome::Sent;
    return publication;
}

} // namespace halvix::campus
