#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace halvix::fuzz {

// One scratch program folder per fuzzing process, in memory where the system offers it.
inline const std::filesystem::path& scratchFolder() {
    static const std::filesystem::path folder = [] {
        const std::filesystem::path base =
            std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
        auto path = base / ("halvix-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratchFolder(), ignored);
        });
        return path;
    }();
    return folder;
}

inline std::filesystem::path writeScratch(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const auto file = scratchFolder() / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                  static_cast<std::streamsize>(size));
    return file;
}

} // namespace halvix::fuzz
