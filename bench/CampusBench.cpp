// Cost of a building's check of the sounds it holds against the plan's hashes, as at every start:
// 50 sounds of 1 MB, read from the page cache (warm) and from the disk (cold: the files' pages
// dropped before each check).
#include "campus/Sha256.h"
#include "campus/SoundRepair.h"
#include "support/PageCache.h"
#include "support/TempFolder.h"

#include <benchmark/benchmark.h>

namespace halvix::campus {
namespace {

constexpr int kSounds = 50;
constexpr std::size_t kSoundSize = 1 << 20;

void HeldSoundsCheck(benchmark::State& state) {
    const bool cold = state.range(0) != 0;
    test::TempFolder folder;
    Snapshot snapshot;
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < kSounds; ++i) {
        std::string bytes(kSoundSize, '\0');
        for (std::size_t b = 0; b < bytes.size(); ++b)
            bytes[b] = static_cast<char>((b * 31 + static_cast<std::size_t>(i)) % 251);
        const std::string name = "铃声/" + std::to_string(i) + ".mp3";
        files.push_back(folder.write("voic/" + name, bytes));
        snapshot.sounds.push_back({name, sha256Hex(bytes), bytes.size()});
    }
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            for (const auto& file : files)
                test::dropCachedPages(file);
            state.ResumeTiming();
        }
        const std::vector<DamagedSound> damaged = damagedSounds(folder.path(), snapshot);
        if (!damaged.empty())
            state.SkipWithError("a sound does not match its hash");
        benchmark::DoNotOptimize(damaged.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSounds *
                            static_cast<std::int64_t>(kSoundSize));
}
BENCHMARK(HeldSoundsCheck)->ArgName("cold")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace halvix::campus
