#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace halvix::test {

// Read-only for everyone: the mode for a plain user and, since root ignores the mode, the
// immutable flag as well when the tests run as root.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(std::filesystem::path file) : m_file(std::move(file)) {
        std::filesystem::permissions(m_file, std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::group_read |
                                                 std::filesystem::perms::others_read);
        if (::geteuid() == 0)
            m_immutable = setImmutable(true);
    }
    // False for the superuser on a file system without the immutable flag: nothing stops writes.
    bool holds() const { return ::geteuid() != 0 || m_immutable; }
    ~ReadOnlyFile() {
        if (m_immutable)
            setImmutable(false);
        std::filesystem::permissions(m_file, std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::owner_write);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

private:
    bool setImmutable(bool on) const {
        const int fd = ::open(m_file.c_str(), O_RDONLY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return done;
    }

    std::filesystem::path m_file;
    bool m_immutable = false;
};

// Another process that holds an exclusive transaction on the database until released (or until
// `holdMs` has passed, when given). It is the sqlite3 shell, started fresh: a child forked from a
// test with threads of its own (the ring log's writer uses SQLite) must not call into SQLite, whose
// locks another thread may have held at the fork.
class LockingProcess {
public:
    explicit LockingProcess(const std::filesystem::path& database, int holdMs = -1) {
        int commands[2];
        int answers[2];
        if (::pipe(commands) != 0 || ::pipe(answers) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(commands[0], 0);
            ::dup2(answers[1], 1);
            for (int fd : {commands[0], commands[1], answers[0], answers[1]})
                ::close(fd);
            ::execl("/usr/bin/sqlite3", "sqlite3", "-bail", database.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(commands[0]);
        ::close(answers[1]);
        m_release = commands[1];
        std::string script = "begin exclusive;\n.print locked\n";
        if (holdMs >= 0)
            script += ".shell sleep " + std::to_string(holdMs / 1000.0) + "\nrollback;\n.quit\n";
        [[maybe_unused]] auto written = ::write(m_release, script.data(), script.size());
        std::string answer;
        char byte = 0;
        while (::read(answers[0], &byte, 1) == 1 && byte != '\n')
            answer += byte;
        ::close(answers[0]);
        m_locked = answer == "locked";
    }
    ~LockingProcess() { release(); }
    LockingProcess(const LockingProcess&) = delete;
    LockingProcess& operator=(const LockingProcess&) = delete;

    bool locked() const { return m_locked; }
    void release() {
        if (m_release >= 0)
            ::close(m_release);
        m_release = -1;
        if (m_pid > 0)
            ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_locked = false;
};

// What the sqlite3 shell, another process, printed (standard output and error) and its exit status.
struct ShellAnswer {
    int status = -1;
    std::string output;
};

// Runs `sql` on `database` in a fresh sqlite3 shell, which waits for no lock (busy timeout 0).
inline ShellAnswer sqliteShell(const std::filesystem::path& database, const std::string& sql) {
    int output[2];
    if (::pipe(output) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(output[1], 1);
        ::dup2(output[1], 2);
        ::close(output[0]);
        ::close(output[1]);
        ::execl("/usr/bin/sqlite3", "sqlite3", "-bail", database.c_str(), sql.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(output[1]);
    ShellAnswer answer;
    char bytes[256];
    for (ssize_t got; (got = ::read(output[0], bytes, sizeof bytes)) > 0;)
        answer.output.append(bytes, static_cast<std::size_t>(got));
    ::close(output[0]);
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        answer.status = WEXITSTATUS(status);
    return answer;
}

// What a damaged disk or a careless copy might leave where the database was: text, no header.
inline std::string notADatabase() {
    std::string bytes;
    while (bytes.size() < 16384)
        bytes += "这不是一个数据库文件, 只是一些文字。0123456789\n";
    return bytes;
}

// The ways the database file goes wrong under the program.
enum class DatabaseFault { None, ReadOnly, Locked, Missing, Garbage };

// `fault` put on `database` while this object lives: read-only and locked end with it, a removed
// or overwritten file stays so.
class FaultyDatabase {
public:
    FaultyDatabase(const std::filesystem::path& database, DatabaseFault fault) {
        switch (fault) {
        case DatabaseFault::None:
            break;
        case DatabaseFault::ReadOnly:
            m_readOnly = std::make_unique<ReadOnlyFile>(database);
            break;
        case DatabaseFault::Locked:
            m_lock = std::make_unique<LockingProcess>(database);
            break;
        case DatabaseFault::Missing:
            std::filesystem::remove(database);
            break;
        case DatabaseFault::Garbage:
            std::ofstream(database, std::ios::binary | std::ios::trunc) << notADatabase();
            break;
        }
    }
    // False when nothing stops writes after all: the superuser without the immutable flag, or a
    // lock that was not taken.
    bool holds() const { return (!m_readOnly || m_readOnly->holds()) && (!m_lock || m_lock->locked()); }

private:
    std::unique_ptr<ReadOnlyFile> m_readOnly;
    std::unique_ptr<LockingProcess> m_lock;
};

} // namespace halvix::test
