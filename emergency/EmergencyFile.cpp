#include "emergency/EmergencyFile.h"

#include "common/TextFile.h"

#include <system_error>

namespace halvix {

EmergencyState loadEmergency(const std::filesystem::path& folder, std::string& problem) {
    const std::filesystem::path file = folder / kEmergencyFile;
    std::error_code error;
    if (!std::filesystem::exists(file, error))
        return {};
    const auto content = readFileContent(file);
    if (!content) {
        problem = std::string("无法读取 ") + kEmergencyFile;
        return {};
    }
    EmergencyRead read = readEmergency(*content);
    if (!read.ok()) {
        problem = std::string(kEmergencyFile) + ": " + read.problem;
        return {};
    }
    return read.state;
}

bool saveEmergency(const std::filesystem::path& folder, const EmergencyState& state, std::string& problem) {
    return replaceFileContent(folder / kEmergencyFile, writeEmergency(state), problem);
}

} // namespace halvix
