#include "common/ProgramFolder.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace halvix;
using test::readFile;
using test::TempFolder;
namespace fs = std::filesystem;

namespace {

// An installed layout below one temporary folder: bin/ (the executable's folder), share/halvix
// (the defaults) and home/data (the per-user folder, not made yet).
struct Installed {
    TempFolder root;
    FolderPlaces places;

    Installed() {
        root.write("bin/halvix", "program");
        root.write("share/halvix/jbase.mdb", "template database");
        root.write("share/halvix/xqno.txt", "1125");
        root.write("share/halvix/voic/上课.mp3", "bell");
        root.write("share/halvix/voic/课间操/1.mp3", "music");
        root.write("share/halvix/tovk/cbhtime.txt", "800\n930\n");
        places = {root / "bin", root / "home/data", {root / "elsewhere", root / "share/halvix"}};
    }
};

} // namespace

TEST(ProgramFolderTest, ExecutableFolderIsPortableOnlyWithItsDatabaseAndWritable) {
    struct Case {
        const char* name;
        bool database;
        bool writable;
        bool portable;
    };
    const Case cases[] = {
        {"database, writable", true, true, true},
        {"no database", false, true, false},
        {"database, read-only", true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Installed installed;
        if (c.database)
            installed.root.write("bin/jbase.mdb", "the user's database");
        if (!c.writable)
            fs::permissions(installed.root / "bin",
                            fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                            fs::perm_options::remove);
        if (!c.writable && ::geteuid() == 0)
            continue; // the superuser writes anywhere
        const ProgramFolderChoice choice = chooseProgramFolder(installed.places);
        EXPECT_EQ(choice.portable, c.portable);
        EXPECT_EQ(choice.folder, c.portable ? installed.root / "bin" : installed.root / "home/data");
        EXPECT_TRUE(choice.problem.empty()) << choice.problem;
        // A portable folder is left exactly as it was: no probe file, nothing copied.
        if (c.portable) {
            EXPECT_TRUE(choice.added.empty());
            EXPECT_FALSE(fs::exists(installed.root / "home/data"));
            EXPECT_EQ(std::distance(fs::directory_iterator(installed.root / "bin"), {}), 2);
        }
    }
}

TEST(ProgramFolderTest, FirstStartFillsThePerUserFolderFromTheDefaults) {
    Installed installed;
    const ProgramFolderChoice choice = chooseProgramFolder(installed.places);
    ASSERT_TRUE(choice.problem.empty()) << choice.problem;
    EXPECT_FALSE(choice.portable);
    const fs::path data = installed.root / "home/data";
    EXPECT_EQ(readFile(data / "jbase.mdb"), "template database");
    EXPECT_EQ(readFile(data / "xqno.txt"), "1125");
    EXPECT_EQ(readFile(data / "voic/课间操/1.mp3"), "music");
    EXPECT_EQ(readFile(data / "tovk/cbhtime.txt"), "800\n930\n");
    EXPECT_EQ(choice.added.size(), 5u);
    EXPECT_FALSE(fs::exists(data / "jbase.mdb.part"));
}

TEST(ProgramFolderTest, LaterStartsKeepTheUsersFilesAndBringBackDeletedOnes) {
    Installed installed;
    const fs::path data = installed.root / "home/data";
    installed.root.write("home/data/jbase.mdb", "the user's plans");
    installed.root.write("home/data/voic/上课.mp3", "the user's own bell");
    installed.root.write("home/data/voic/自选.mp3", "added by the user");

    const ProgramFolderChoice choice = chooseProgramFolder(installed.places);
    ASSERT_TRUE(choice.problem.empty()) << choice.problem;
    EXPECT_EQ(readFile(data / "jbase.mdb"), "the user's plans");
    EXPECT_EQ(readFile(data / "voic/上课.mp3"), "the user's own bell");
    EXPECT_EQ(readFile(data / "voic/自选.mp3"), "added by the user");
    EXPECT_EQ(readFile(data / "xqno.txt"), "1125");
    EXPECT_EQ(choice.added, (std::vector<std::string>{"voic/课间操/1.mp3", "tovk/cbhtime.txt", "xqno.txt"}));

    // Nothing missing: nothing copied.
    EXPECT_TRUE(chooseProgramFolder(installed.places).added.empty());
}

TEST(ProgramFolderTest, MissingDefaultsOrAnUnmakeableFolderAreReportedInChinese) {
    {
        SCOPED_TRACE("no defaults anywhere");
        Installed installed;
        fs::remove_all(installed.root / "share");
        const ProgramFolderChoice choice = chooseProgramFolder(installed.places);
        EXPECT_NE(choice.problem.find("找不到程序的默认数据"), std::string::npos) << choice.problem;
        EXPECT_TRUE(fs::is_directory(installed.root / "home/data"));
    }
    {
        SCOPED_TRACE("no defaults, but a whole folder");
        Installed installed;
        fs::create_directories(installed.root / "home/data");
        for (const std::string& entry : kProgramFolderEntries)
            fs::copy(installed.root / "share/halvix" / entry, installed.root / "home/data" / entry,
                     fs::copy_options::recursive);
        fs::remove_all(installed.root / "share");
        EXPECT_TRUE(chooseProgramFolder(installed.places).problem.empty());
    }
    {
        SCOPED_TRACE("the per-user folder's place is a file");
        Installed installed;
        installed.root.write("home", "not a folder");
        const ProgramFolderChoice choice = chooseProgramFolder(installed.places);
        EXPECT_NE(choice.problem.find("无法建立数据文件夹"), std::string::npos) << choice.problem;
    }
}
