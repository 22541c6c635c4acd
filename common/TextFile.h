#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace halvix {

// The whole content of a regular file; nothing when it cannot be opened or read.
std::optional<std::string> readFileContent(const std::filesystem::path& file);

// Replaces `file` with `bytes` through a temporary file beside it, so that a failed write leaves the
// old content in place. False when the file could not be written.
bool replaceFileContent(const std::filesystem::path& file, std::string_view bytes);

} // namespace halvix
