#pragma once

#include <filesystem>

namespace halvix {

class SingleInstance;

// The bell without window or tray, for a service: notices (and the day's decision) go to standard
// error, each line led by the local time; SIGTERM and SIGINT end it cleanly. Returns the exit code.
int runHeadless(const std::filesystem::path& folder, SingleInstance& instance);

} // namespace halvix
