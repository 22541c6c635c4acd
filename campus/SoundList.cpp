#include "campus/SoundList.h"

#include <nlohmann/json.hpp>

#include <set>

namespace halvix::campus {

std::vector<std::string> soundChoices(const std::vector<SnapshotSound>& sounds) {
    std::set<std::string> names;
    for (const SnapshotSound& sound : sounds) {
        names.insert(sound.name);
        // A folder plays its files one after the other: each folder on the way is a choice too.
        for (std::size_t slash = sound.name.find('/'); slash != std::string::npos;
             slash = sound.name.find('/', slash + 1))
            names.insert(sound.name.substr(0, slash));
    }
    return {names.begin(), names.end()};
}

std::string writeSoundList(std::uint64_t revision, const std::vector<std::string>& names) {
    const nlohmann::json root = {{"format", 1}, {"revision", revision}, {"sounds", names}};
    return root.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace halvix::campus
