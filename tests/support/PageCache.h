#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

namespace halvix::test {

// Flushes `file` and drops its pages from the cache: the next read of it comes from the disk.
inline void dropCachedPages(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

} // namespace halvix::test
