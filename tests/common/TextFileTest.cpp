// Whole-file replacement: the new content whole, or the old content untouched with a reason; never
// a file left beside it, and the mode of the file it replaces kept.
#include "common/TextFile.h"

#include "support/DatabaseFaults.h"
#include "support/FolderContent.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <functional>
#include <map>
#include <memory>

namespace halvix {
namespace {

namespace fs = std::filesystem;
using test::folderContent;
using test::TempFolder;

const std::string kNew(4096, 'n');

mode_t modeOf(const fs::path& file) {
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Writes larger than a few bytes fail with EFBIG while it lives, as on a full disk, even for root.
class FileSizeLimit {
public:
    FileSizeLimit() {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = m_old;
        small.rlim_cur = 16;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

TEST(ReplaceFileContent, NewContentWholeOrOldContentUntouched) {
    // A fault is held in `held` during the write; false when it does not hold here.
    using Fault = std::function<bool(TempFolder&, std::shared_ptr<void> & held)>;
    struct Case {
        const char* name;
        const char* target;                       // below the folder
        std::function<void(TempFolder&)> prepare; // the folder before the write
        Fault fault;
        bool replaced;
        const char* reasonPart; // of the reason, when not replaced
        mode_t mode;            // of the target afterwards, when replaced
    };
    const auto old = [](mode_t mode) {
        return [mode](TempFolder& folder) {
            folder.write("a/plan.csv", "old");
            fs::permissions(folder / "a/plan.csv", static_cast<fs::perms>(mode));
        };
    };
    const Fault none = [](TempFolder&, std::shared_ptr<void>&) { return true; };
    const Fault fullDisk = [](TempFolder&, std::shared_ptr<void>& held) {
        held = std::make_shared<FileSizeLimit>();
        return true;
    };
    const Fault readOnlyFolder = [](TempFolder& folder, std::shared_ptr<void>& held) {
        auto readOnly = std::make_shared<test::ReadOnlyFile>(folder / "a");
        held = readOnly;
        return readOnly->holds();
    };
    const Case cases[] = {
        {"a new file", "a/plan.csv", [](TempFolder& f) { fs::create_directories(f / "a"); }, none, true, "",
         newFileMode()},
        {"over a file, its mode kept", "a/plan.csv", old(0640), none, true, "", 0640},
        {"over a read-only file", "a/plan.csv", old(0444), none, true, "", 0444},
        {"through a link", "a/link.csv",
         [&](TempFolder& f) {
             old(0600)(f);
             fs::create_symlink("plan.csv", f / "a/link.csv");
         },
         none, true, "", 0600},
        {"a folder in its place", "a/plan.csv", [](TempFolder& f) { f.write("a/plan.csv/inside", "old"); },
         none, false, "是一个文件夹", 0},
        {"no such folder", "b/plan.csv", old(0644), none, false, "建立新文件", 0},
        {"the disk full", "a/plan.csv", old(0644), fullDisk, false, "无法写入", 0},
        {"a read-only folder", "a/plan.csv", old(0644), readOnlyFolder, false, "建立新文件", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        c.prepare(folder);
        const auto before = folderContent(folder.path());
        std::string problem;
        bool replaced = false;
        {
            std::shared_ptr<void> held;
            if (!c.fault(folder, held))
                continue; // the superuser on a file system without the immutable flag
            replaced = replaceFileContent(folder / c.target, kNew, problem);
        }
        std::error_code ignored;
        fs::permissions(folder / "a", fs::perms::owner_all, fs::perm_options::add, ignored);
        EXPECT_EQ(replaced, c.replaced) << problem;
        auto expected = before;
        if (c.replaced) {
            expected["a/plan.csv"] = expected[c.target] = kNew;
            EXPECT_TRUE(problem.empty()) << problem;
            EXPECT_EQ(modeOf(folder / c.target), c.mode);
        } else {
            EXPECT_NE(problem.find(c.reasonPart), std::string::npos) << problem;
        }
        // Nothing else: no new file left beside, a link still a link, a folder still a folder.
        EXPECT_EQ(folderContent(folder.path()), expected);
        if (fs::path(c.target).filename() == "link.csv") {
            EXPECT_TRUE(fs::is_symlink(folder / c.target));
        }
    }
}

TEST(FlushToDisk, FlushesFilesAndFoldersAndNamesWhatItCannot) {
    TempFolder folder;
    folder.write("sound.mp3", "bytes");
    std::string problem;
    EXPECT_TRUE(flushToDisk(folder / "sound.mp3", problem)) << problem;
    EXPECT_TRUE(flushToDisk(folder.path(), problem)) << problem;
    EXPECT_FALSE(flushToDisk(folder / "gone.mp3", problem));
    EXPECT_NE(problem.find("gone.mp3"), std::string::npos) << problem;
}

} // namespace
} // namespace halvix
