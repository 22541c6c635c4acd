// Writes what the 主控 would publish for a program folder, as files a test publishes with the
// broker's own client (and may spoil first): OUT/snapshot.json and OUT/sound/<sha256>.
//
//   halvix_snapshot_files FOLDER REVISION OUT
#include "campus/SnapshotBuilder.h"
#include "common/TextFile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char* argv[]) {
    using namespace halvix;
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s FOLDER REVISION OUT\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const std::filesystem::path out = argv[3];
    const campus::SnapshotBuild build = campus::buildSnapshot(folder, std::strtoull(argv[2], nullptr, 10));
    if (!build.ok()) {
        std::fprintf(stderr, "%s\n", build.problem.c_str());
        return 1;
    }
    std::filesystem::create_directories(out / "sound");
    std::string problem = "cannot read a sound";
    bool written = replaceFileContent(out / "snapshot.json", campus::writeSnapshot(build.snapshot), problem);
    for (const campus::SnapshotSound& sound : build.snapshot.sounds) {
        const auto bytes = readFileContent(folder / "voic" / sound.name);
        written = written && bytes && replaceFileContent(out / "sound" / sound.sha256, *bytes, problem);
    }
    if (!written)
        std::fprintf(stderr, "cannot write %s: %s\n", out.c_str(), problem.c_str());
    return written ? 0 : 1;
}
