#include "store/DatabaseLocks.h"

#include <sqlite3.h>

#if defined(__linux__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>
#endif

namespace halvix {

#if defined(__linux__) && defined(F_OFD_SETLK)

namespace {

using OpenCall = int (*)(const char*, int, int);
using CloseCall = int (*)(int);
using FcntlCall = int (*)(int, int, ...);

// What SQLite called before: the system's calls, or whatever was installed earlier.
OpenCall previousOpen = nullptr;
CloseCall previousClose = nullptr;
FcntlCall previousFcntl = nullptr;

// SQLite's descriptors of each regular file it has open. All those of one file share the open file
// description of the first, and with it its locks.
class SharedDescriptions {
public:
    // `fd`, just opened with `flags` on the file `info`, or in its place a duplicate of a descriptor
    // SQLite already has of that file; -1 (errno set) when no duplicate can be made.
    int share(int fd, const struct stat& info, int flags) {
        const Key key{info.st_dev, info.st_ino};
        const std::lock_guard lock(m_mutex);
        const auto found = m_files.find(key);
        if (found == m_files.end()) {
            const int first = (flags & O_ACCMODE) == O_RDONLY ? widened(fd, info) : fd;
            m_files[key] = {{first}, writable(first)};
            m_keys[first] = key;
            return first;
        }
        File& file = found->second;
        // The file was read-only at its first open and may be written now: a description of its own.
        if ((flags & O_ACCMODE) != O_RDONLY && !file.writable)
            return fd;
        previousClose(fd);
        const int copy = ::fcntl(file.descriptors.front(), F_DUPFD_CLOEXEC, 3);
        if (copy < 0)
            return -1;
        file.descriptors.push_back(copy);
        m_keys[copy] = key;
        return copy;
    }

    void forget(int fd) {
        const std::lock_guard lock(m_mutex);
        const auto key = m_keys.find(fd);
        if (key == m_keys.end())
            return;
        const auto file = m_files.find(key->second);
        std::erase(file->second.descriptors, fd);
        if (file->second.descriptors.empty())
            m_files.erase(file);
        m_keys.erase(key);
    }

private:
    using Key = std::pair<dev_t, ino_t>;
    struct File {
        std::vector<int> descriptors;
        bool writable = false;
    };

    static bool writable(int fd) { return (::fcntl(fd, F_GETFL) & O_ACCMODE) != O_RDONLY; }

    // A read-only first open is made read-write where the file allows, so that a later read-write
    // open of the file (another connection) can share its description. SQLite never writes
    // through a descriptor it asked read-only for.
    static int widened(int fd, const struct stat& info) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        const int wide = previousOpen(self.c_str(), O_RDWR | O_CLOEXEC, 0);
        if (wide < 0)
            return fd;
        struct stat wideInfo {};
        if (::fstat(wide, &wideInfo) != 0 || wideInfo.st_dev != info.st_dev ||
            wideInfo.st_ino != info.st_ino) {
            previousClose(wide);
            return fd;
        }
        previousClose(fd);
        return wide;
    }

    std::mutex m_mutex;
    std::map<Key, File> m_files;
    std::map<int, Key> m_keys;
};

// Never destroyed: a connection may close during the destruction of other statics at exit.
SharedDescriptions& sharedDescriptions() {
    static auto* descriptions = new SharedDescriptions;
    return *descriptions;
}

int sharingOpen(const char* path, int flags, int mode) {
    const int fd = previousOpen(path, flags, mode);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return fd;
    return sharedDescriptions().share(fd, info, flags);
}

int sharingClose(int fd) {
    sharedDescriptions().forget(fd);
    return previousClose(fd);
}

// The open-file-description form of a record-lock command; 0 for every other command.
int descriptionCommand(int command) {
    switch (command) {
    case F_SETLK:
        return F_OFD_SETLK;
    case F_SETLKW:
        return F_OFD_SETLKW;
    case F_GETLK:
        return F_OFD_GETLK;
    default:
        return 0;
    }
}

int descriptionLockingFcntl(int fd, int command, ...) {
    // Every argument of fcntl fits in a pointer: passed on as it came, as the C library does.
    va_list arguments;
    va_start(arguments, command);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    const int described = descriptionCommand(command);
    if (described == 0)
        return previousFcntl(fd, command, argument);
    auto* asked = static_cast<struct flock*>(argument);
    struct flock lock = *asked;
    lock.l_pid = 0; // required of open-file-description locks
    const int result = previousFcntl(fd, described, &lock);
    if (result == 0 && command == F_GETLK)
        *asked = lock;
    return result;
}

template <typename Call> sqlite3_syscall_ptr asSystemCall(Call call) {
    return reinterpret_cast<sqlite3_syscall_ptr>(call);
}

sqlite3_vfs* unixFiles() {
    sqlite3_vfs* vfs = sqlite3_vfs_find("unix");
    return vfs && vfs->iVersion >= 3 && vfs->xSetSystemCall && vfs->xGetSystemCall ? vfs : nullptr;
}

std::mutex installing;

} // namespace

bool databaseLocksKept() {
    sqlite3_vfs* vfs = unixFiles();
    return vfs && vfs->xGetSystemCall(vfs, "fcntl") == asSystemCall(&descriptionLockingFcntl);
}

bool keepDatabaseLocks() {
    // Record locks of 64-bit offsets on both sides: SQLite's F_SETLK is then this file's F_SETLK.
    if constexpr (sizeof(off_t) != 8)
        return false;
    const std::lock_guard lock(installing);
    sqlite3_vfs* vfs = unixFiles();
    if (!vfs)
        return false;
    if (databaseLocksKept())
        return true;
    previousOpen = reinterpret_cast<OpenCall>(vfs->xGetSystemCall(vfs, "open"));
    previousClose = reinterpret_cast<CloseCall>(vfs->xGetSystemCall(vfs, "close"));
    previousFcntl = reinterpret_cast<FcntlCall>(vfs->xGetSystemCall(vfs, "fcntl"));
    if (!previousOpen || !previousClose || !previousFcntl)
        return false;
    // Sharing first: a lock on a description of its own would conflict with the process's others.
    if (vfs->xSetSystemCall(vfs, "open", asSystemCall(&sharingOpen)) != SQLITE_OK ||
        vfs->xSetSystemCall(vfs, "close", asSystemCall(&sharingClose)) != SQLITE_OK ||
        vfs->xSetSystemCall(vfs, "fcntl", asSystemCall(&descriptionLockingFcntl)) != SQLITE_OK) {
        vfs->xSetSystemCall(vfs, "open", asSystemCall(previousOpen));
        vfs->xSetSystemCall(vfs, "close", asSystemCall(previousClose));
        return false;
    }
    return true;
}

#else

// Elsewhere SQLite keeps its own locking.
bool keepDatabaseLocks() {
    return false;
}

bool databaseLocksKept() {
    return false;
}

#endif

} // namespace halvix
