#include "common/TextFile.h"

#include "common/PathText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>
#include <utility>

namespace halvix {

namespace fs = std::filesystem;

namespace {

std::string reasonOf(int error) {
    return std::generic_category().message(error);
}

// A descriptor closed when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }
    // A file system may report a failed write only here. After EINTR the descriptor is closed too.
    bool close() { return ::close(std::exchange(m_fd, -1)) == 0 || errno == EINTR; }

private:
    int m_fd;
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool syncDescriptor(int fd) {
    int result = 0;
    do
        result = ::fsync(fd);
    while (result != 0 && errno == EINTR);
    return result == 0;
}

fs::path folderOf(const fs::path& file) {
    return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

// Creates a file of a unique name beside `target` (".NAME.XXXXXX", hidden), with the mode a new
// `target` would get from the umask. -1 with errno when it cannot.
int createBeside(const fs::path& target, fs::path& made) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::minstd_rand random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> letter(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = "." + pathToUtf8(target.filename()) + ".";
        for (int i = 0; i < 6; ++i)
            name += kLetters[letter(random)];
        made = folderOf(target) / pathFromUtf8(name);
        const int fd = ::open(made.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// A device or a pipe (an export to /dev/stdout) has no content to keep: it is written as it is.
bool writeInPlace(const fs::path& file, std::string_view bytes, std::string& problem) {
    Descriptor out(::open(file.c_str(), O_WRONLY | O_CLOEXEC));
    if (out.get() >= 0 && writeAll(out.get(), bytes) && out.close())
        return true;
    const int reason = errno;
    problem = "无法写入 " + pathToUtf8(file) + ": " + reasonOf(reason);
    return false;
}

} // namespace

std::optional<std::string> readFileContent(const fs::path& file) {
    std::error_code error;
    if (!fs::is_regular_file(file, error))
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        return std::nullopt;
    return content;
}

bool replaceFileContent(const fs::path& file, std::string_view bytes, std::string& problem) {
    struct stat old {};
    const bool existed = ::stat(file.c_str(), &old) == 0;
    if (existed && S_ISDIR(old.st_mode)) {
        problem = pathToUtf8(file) + " 是一个文件夹, 无法写入";
        return false;
    }
    if (existed && !S_ISREG(old.st_mode))
        return writeInPlace(file, bytes, problem);
    std::error_code error;
    fs::path target = file;
    if (existed && fs::is_symlink(fs::symlink_status(file, error)))
        target = fs::canonical(file, error);
    if (error || target.filename().empty()) {
        problem = "无法写入 " + pathToUtf8(file) + ": " + (error ? error.message() : "不是文件名");
        return false;
    }
    fs::path temporary;
    Descriptor out(createBeside(target, temporary));
    if (out.get() < 0) {
        const int reason = errno;
        problem = "无法在 " + pathToUtf8(folderOf(target)) + " 建立新文件: " + reasonOf(reason);
        return false;
    }
    const char* failed = nullptr;
    if (existed && ::fchmod(out.get(), old.st_mode & 07777) != 0)
        failed = "无法设定权限";
    else if (!writeAll(out.get(), bytes) || !syncDescriptor(out.get()) || !out.close())
        failed = "无法写入";
    else if (::rename(temporary.c_str(), target.c_str()) != 0)
        failed = "无法替换";
    if (failed) {
        const int reason = errno;
        ::unlink(temporary.c_str());
        problem = std::string(failed) + " " + pathToUtf8(target) + ": " + reasonOf(reason);
        return false;
    }
    if (std::string unflushed; !flushToDisk(folderOf(target), unflushed)) {
        problem = "已替换 " + pathToUtf8(target) + ", 但" + unflushed;
        return false;
    }
    return true;
}

bool flushToDisk(const fs::path& path, std::string& problem) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    // A file system that cannot flush a folder (EINVAL) keeps its names by other means.
    if (fd.get() >= 0 && (syncDescriptor(fd.get()) || errno == EINVAL))
        return true;
    const int reason = errno;
    problem = "无法把 " + pathToUtf8(path) + " 写入磁盘: " + reasonOf(reason);
    return false;
}

} // namespace halvix
