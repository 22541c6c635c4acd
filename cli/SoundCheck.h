#pragma once

#include "store/TextTable.h"

#include <filesystem>
#include <string>

namespace halvix {

// Why the sound text `sound` would ring nothing in the program folder, or empty when it would
// ring: a single file must be listed in "voic" and hold bytes; a folder must hold a track.
std::string soundProblem(const std::filesystem::path& programFolder, const std::string& sound);

// One line per plan row whose sound would ring nothing: "time\tevent\tsound\tproblem".
TextList soundProblems(const std::filesystem::path& programFolder, const TextTable& plan);

} // namespace halvix
