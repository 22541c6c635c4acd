#include "common/TextFile.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace halvix {
namespace {

// A file and the folder it was renamed into are flushed; what cannot be opened says so.
TEST(SyncFile, FlushesFilesAndFoldersAndRefusesWhatIsNotThere) {
    test::TempFolder folder;
    const auto file = folder.write("voic/上课.mp3", "bell");
    struct Case {
        std::filesystem::path path;
        bool synced;
    };
    for (const Case& c : {Case{file, true}, Case{file.parent_path(), true},
                          Case{folder / "voic/none.mp3", false}, Case{"", false}})
        EXPECT_EQ(syncFile(c.path), c.synced) << c.path;
    EXPECT_EQ(test::readFile(file), "bell");
}

} // namespace
} // namespace halvix
