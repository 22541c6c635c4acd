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
// 64 lower-case hex digits: the only form a hash takes in topics and snapshots.
bool isSha256Hex(std::string_view text);

} // namespace halvix::campus
