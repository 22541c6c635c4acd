#pragma once

#include "campus/Snapshot.h"

#include <cstdint>
#include <string>
#include <vector>

namespace halvix::campus {

// The sounds of the shared plan by name, for the duty office to choose from (立即播放, 紧急广播)
// on any day, with or without bells: every file of voic/ and every folder holding some, sorted.
// Retained on `sounds`, apart from the snapshot, so that staff read the names and nothing more.
std::vector<std::string> soundChoices(const std::vector<SnapshotSound>& sounds);

// {"format":1,"revision":7,"sounds":["上课.mp3","课间操","课间操/01.mp3"]}
std::string writeSoundList(std::uint64_t revision, const std::vector<std::string>& names);

} // namespace halvix::campus
