// Applies two snapshots to a program folder one after the other, each under the next revision,
// until it is killed: revision 2n+1 carries A's content, 2n B's. Says "applied REVISION" once each
// is committed, so that whoever kills it knows what the folder must hold at least. With --start,
// only does what a node does at its start (the leftovers of an apply cut short) and says the
// revision the folder holds.
//
//   halvix_apply_snapshots FOLDER DIR_A DIR_B [COUNT]   (each DIR as halvix_snapshot_files writes
//                                                        it; COUNT revisions, then it ends)
//   halvix_apply_snapshots --start FOLDER
#include "campus/Snapshot.h"
#include "campus/SnapshotApplier.h"
#include "common/TextFile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace {

using namespace halvix;

struct Published {
    campus::Snapshot snapshot;
    campus::SoundBytes bytes;
};

std::optional<Published> readPublished(const std::filesystem::path& dir) {
    const auto text = readFileContent(dir / "snapshot.json");
    if (!text)
        return std::nullopt;
    campus::SnapshotRead read = campus::readSnapshot(*text);
    if (!read.ok()) {
        std::fprintf(stderr, "%s: %s\n", dir.c_str(), read.problem.c_str());
        return std::nullopt;
    }
    Published published{std::move(read.snapshot), {}};
    for (const campus::SnapshotSound& sound : published.snapshot.sounds)
        if (const auto bytes = readFileContent(dir / "sound" / sound.sha256))
            published.bytes[sound.sha256] = *bytes;
    return published;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 3 && std::string(argv[1]) == "--start") {
        campus::removeApplyLeftovers(argv[2]);
        const auto stored = campus::storedRevision(argv[2]);
        if (!stored)
            return 1;
        std::printf("revision %llu\n", static_cast<unsigned long long>(*stored));
        return 0;
    }
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: %s FOLDER DIR_A DIR_B [COUNT] | --start FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    auto a = readPublished(argv[2]);
    auto b = readPublished(argv[3]);
    if (!a || !b)
        return 2;
    // What a node does at its start: an apply cut short leaves nothing to keep.
    campus::removeApplyLeftovers(folder);
    const long long count = argc == 5 ? std::atoll(argv[4]) : -1;
    for (long long n = 0; n != count; ++n) {
        const auto stored = campus::storedRevision(folder);
        if (!stored) {
            std::fprintf(stderr, "no revision readable in %s\n", folder.c_str());
            return 1;
        }
        const std::uint64_t revision = *stored + 1;
        Published& next = revision % 2 ? *a : *b;
        next.snapshot.revision = revision;
        if (const std::string problem = campus::applySnapshot(folder, next.snapshot, next.bytes);
            !problem.empty()) {
            std::fprintf(stderr, "revision %llu: %s\n", static_cast<unsigned long long>(revision),
                         problem.c_str());
            return 1;
        }
        std::printf("applied %llu\n", static_cast<unsigned long long>(revision));
        std::fflush(stdout);
    }
    return 0;
}
