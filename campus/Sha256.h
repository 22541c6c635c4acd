#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace halvix::campus {

// SHA-256 as 64 lower-case hex digits.
std::string sha256Hex(std::string_view bytes);
// The digest of a file's content, read in pieces; nothing when it cannot be read.
std::optional<std::string> sha256OfFile(const std::filesystem::path& file);
// `file` is a regular file (not a link) whose content has the digest `sha256`.
bool fileHasSha256(const std::filesystem::path& file, const std::string& sha256);
// 64 lower-case hex digits: the only form a hash takes in topics and snapshots.
bool isSha256Hex(std::string_view text);

} // namespace halvix::campus
