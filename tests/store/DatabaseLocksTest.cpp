// SQLite's locks on the program's databases survive whatever else the process opens and closes:
// a file dialog looking at the ring log, its -wal and its -shm must not let another process take
// the file over. Several connections of the process to one file, read-only ones among them, still
// share their locks as the process's own, and still keep other processes out.
#include "store/DatabaseLocks.h"
#include "ringlog/RingLog.h"
#include "support/DatabaseFaults.h"
#include "support/RingWords.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace halvix {
namespace {

namespace fs = std::filesystem;

// SQLite's own calls again, as in a program that never installs the guard.
void forgetDatabaseLocks() {
    sqlite3_vfs* vfs = sqlite3_vfs_find("unix");
    vfs->xSetSystemCall(vfs, nullptr, nullptr);
}

// What a file dialog, a sound check or any other part of the process may do to a file.
void openAndClose(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
}

// "MAJOR:MINOR:INODE" as /proc/locks names a file; empty when it does not exist.
std::string lockName(const fs::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0)
        return {};
    char name[64];
    std::snprintf(name, sizeof name, "%02x:%02x:%llu", major(info.st_dev), minor(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino));
    return name;
}

// Every lock any process holds on these files (by the names taken earlier), without the ordinals.
std::multiset<std::string> locksOn(const std::vector<std::string>& names) {
    std::multiset<std::string> locks;
    std::ifstream table("/proc/locks");
    for (std::string line; std::getline(table, line);)
        for (const std::string& name : names)
            if (!name.empty() && line.find(" " + name + " ") != std::string::npos)
                locks.insert(line.substr(line.find(' ') + 1));
    return locks;
}

// The locks once they stay put: a write just committed may still be letting go of its own for a
// moment on a busy machine.
std::multiset<std::string> settledLocksOn(const std::vector<std::string>& names) {
    std::multiset<std::string> locks = locksOn(names);
    for (int i = 0; i < 50; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::multiset<std::string> again = locksOn(names);
        if (again == locks)
            break;
        locks = std::move(again);
    }
    return locks;
}

// How many of this process's descriptors lead to `file`, and whether one leads to a deleted one.
struct Descriptors {
    int open = 0;
    bool deleted = false;
};
Descriptors descriptorsOf(const fs::path& file) {
    Descriptors found;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = fs::read_symlink(entry.path(), error).string();
        if (target == file.string())
            ++found.open;
        if (target == file.string() + " (deleted)")
            found.deleted = true;
    }
    return found;
}

RingRow rowAt(const std::string& time) {
    return {"2025-03-12 " + time + ".000", "08:00", "第一节上课", "上课.mp3",
            test::word(RingResult::Rang),  0,       "",           ""};
}

std::string rowsSeenOutside(const fs::path& file) {
    return test::sqliteShell(file, "select count(*) from ringlog").output;
}

// The program's ring log with a row in it; every file of it opened and closed elsewhere in the
// process; another process reads it and closes; then a second row.
struct Aftermath {
    bool locksKept = false;
    std::string rowsOutside;
    bool walDeleted = false;
};
Aftermath sniffedWhileHeld(const fs::path& file) {
    RingLog log(file);
    EXPECT_TRUE(log.open());
    EXPECT_TRUE(log.append(rowAt("08:00:00")));
    const std::vector<std::string> names{lockName(file), lockName(file.string() + "-shm")};
    const std::multiset<std::string> held = settledLocksOn(names);
    EXPECT_FALSE(held.empty()) << "the open ring log holds no lock";
    for (const char* suffix : {"", "-wal", "-shm"})
        openAndClose(file.string() + suffix);
    EXPECT_EQ(rowsSeenOutside(file), "1\n");
    EXPECT_TRUE(log.append(rowAt("08:45:00")));
    const bool kept = settledLocksOn(names) == held;
    return {kept, rowsSeenOutside(file), descriptorsOf(file.string() + "-wal").deleted};
}

TEST(DatabaseLocks, AnotherCloseInTheProcessKeepsTheRingLogsLocksAndItsWal) {
    ASSERT_TRUE(keepDatabaseLocks());
    test::TempFolder folder;
    const Aftermath after = sniffedWhileHeld(folder / kRingLogFile);
    EXPECT_TRUE(after.locksKept);
    EXPECT_EQ(after.rowsOutside, "2\n") << "a row written after the outside reader is lost";
    EXPECT_FALSE(after.walDeleted);
}

// Why the guard is there: with SQLite's own calls the same steps lose the row.
TEST(DatabaseLocks, WithoutTheGuardAnotherCloseLetsAnotherProcessDeleteTheWal) {
    forgetDatabaseLocks();
    ASSERT_FALSE(databaseLocksKept());
    test::TempFolder folder;
    const Aftermath after = sniffedWhileHeld(folder / kRingLogFile);
    EXPECT_FALSE(after.locksKept);
    EXPECT_EQ(after.rowsOutside, "1\n");
    EXPECT_TRUE(after.walDeleted);
}

TEST(DatabaseLocks, InstallingTwiceKeepsOneGuard) {
    ASSERT_TRUE(keepDatabaseLocks());
    ASSERT_TRUE(keepDatabaseLocks());
    EXPECT_TRUE(databaseLocksKept());
    test::TempFolder folder;
    const Aftermath after = sniffedWhileHeld(folder / kRingLogFile);
    EXPECT_TRUE(after.locksKept);
    EXPECT_EQ(after.rowsOutside, "2\n");
}

} // namespace
} // namespace halvix
