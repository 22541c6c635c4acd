#pragma once

#include "emergency/EmergencyState.h"

#include <filesystem>

namespace halvix {

// The emergency state kept in the program folder, written whole and flushed (replaceFileContent), so
// that a power cut leaves either the old state or the new one.
inline constexpr const char* kEmergencyFile = "emergency.json";

// The stored state. No file is no emergency. A file that cannot be read or checked gives the
// inactive state with the reason in `problem`; the file itself is left as it is.
EmergencyState loadEmergency(const std::filesystem::path& folder, std::string& problem);

// False, with the reason in Chinese in `problem`, when the file could not be written.
bool saveEmergency(const std::filesystem::path& folder, const EmergencyState& state, std::string& problem);

} // namespace halvix
