#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace halvix {

// The whole content of a regular file; nothing when it cannot be opened or read.
std::optional<std::string> readFileContent(const std::filesystem::path& file);

// Replaces `file` with `bytes` so that a power cut leaves either the old content or the new one
// whole: the bytes go to a new file of a unique name beside it (with the old file's mode), are
// flushed to the disk, the new file is renamed over `file` and the folder is flushed. A link is
// followed: the file it leads to is replaced. False with the reason in `problem` when a step
// fails; the old content then stays and the new file is removed, unless only the last flush of
// the folder failed (the reason says so).
bool replaceFileContent(const std::filesystem::path& file, std::string_view bytes, std::string& problem);

// Flushes to the disk what another writer left in `path`: a file's content, or a folder's names
// after files were made, renamed or linked in it. False with the reason in `problem`.
bool flushToDisk(const std::filesystem::path& path, std::string& problem);

} // namespace halvix
