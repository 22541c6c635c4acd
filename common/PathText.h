#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace halvix {

// Paths as the program's UTF-8 texts and back. path::string() is in the system's narrow code page
// on Windows, which is not what SQLite opens, what the windows show or what a plan row names.
std::string pathToUtf8(const std::filesystem::path& path);
std::filesystem::path pathFromUtf8(std::string_view utf8);

} // namespace halvix
