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

// Flushes what was written to `path` (a file, or a folder after a rename in it) to the disk, so
// that a power loss after a rename cannot leave an empty file in place of the old one. False when
// it could not be opened or flushed.
bool syncFile(const std::filesystem::path& path);

} // namespace halvix
