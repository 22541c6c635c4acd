#include "campus/SoundRepair.h"

#include "campus/FileSwap.h"
#include "campus/Sha256.h"
#include "common/PathText.h"

#include <algorithm>
#include <system_error>

namespace halvix::campus {

namespace fs = std::filesystem;

std::vector<DamagedSound> damagedSounds(const fs::path& folder, const Snapshot& snapshot,
                                        const std::atomic<bool>* stop) {
    std::vector<DamagedSound> damaged;
    for (const SnapshotSound& sound : snapshot.sounds) {
        if (stop && stop->load())
            break;
        const fs::path file = folder / "voic" / pathFromUtf8(sound.name);
        if (fileHasSha256(file, sound.sha256))
            continue;
        std::error_code error;
        damaged.push_back({sound, !fs::is_regular_file(fs::symlink_status(file, error)), {}});
    }
    return damaged;
}

void SoundRepair::check(const Snapshot& snapshot, const std::atomic<bool>* stop) {
    m_damaged = damagedSounds(m_folder, snapshot, stop);
}

std::vector<DamagedSound> SoundRepair::offer(const std::string& sha256, std::string_view bytes) {
    const auto waiting = [&sha256](const DamagedSound& d) {
        return d.sound.sha256 == sha256 && d.problem.empty();
    };
    if (std::none_of(m_damaged.begin(), m_damaged.end(), waiting))
        return {};
    const bool genuine = sha256Hex(bytes) == sha256;
    const fs::path voic = m_folder / "voic";
    std::error_code ignored;
    fs::create_directories(voic, ignored);
    std::vector<DamagedSound> repaired;
    for (DamagedSound& damaged : m_damaged) {
        if (!waiting(damaged))
            continue;
        if (!genuine || bytes.size() != damaged.sound.size) {
            damaged.problem = "校园服务器上的内容与其 SHA-256 或大小不符";
            continue;
        }
        FileSwap file(voic);
        std::string problem =
            file.stage(voic / pathFromUtf8(damaged.sound.name), std::string(bytes), damaged.sound.name, true);
        if (problem.empty())
            problem = file.putInPlace();
        if (problem.empty())
            repaired.push_back(damaged);
        else
            damaged.problem = std::move(problem);
    }
    std::erase_if(m_damaged, [&repaired](const DamagedSound& d) {
        return std::find(repaired.begin(), repaired.end(), d) != repaired.end();
    });
    return repaired;
}

std::vector<std::string> SoundRepair::wanted() const {
    std::vector<std::string> hashes;
    for (const DamagedSound& damaged : m_damaged)
        if (damaged.problem.empty() &&
            std::find(hashes.begin(), hashes.end(), damaged.sound.sha256) == hashes.end())
            hashes.push_back(damaged.sound.sha256);
    return hashes;
}

} // namespace halvix::campus
