// Where sound texts lead: only to files and folders of the program folder's "voic", whatever the
// text or the links on the disk say.
#include "common/SoundPath.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace halvix {
namespace {

namespace fs = std::filesystem;

TEST(SoundResolver, LeadsOnlyIntoVoic) {
    test::TempFolder program;
    test::TempFolder outside;
    for (const char* name : {"voic/上课.mp3", "voic/广播.MP3", "voic/晨读/1.mp3", "旁/1.mp3"})
        program.write(name, "x");
    fs::create_directories(program / "voic/dir.mp3");
    outside.write("外/1.mp3", "x");
    outside.write("外.mp3", "x");
    fs::create_directory_symlink(outside / "外", program / "voic/链");
    fs::create_symlink(outside / "外.mp3", program / "voic/链.mp3");
    fs::create_directory_symlink(program / "voic/晨读", program / "voic/内链");
    fs::create_symlink(program / "voic/上课.mp3", program / "voic/内.mp3");
    fs::create_symlink(program / "voic/没有.mp3", program / "voic/断.mp3");
    fs::create_directory_symlink(outside / "没有", program / "voic/断");
    outside.write("外/深/1.mp3", "x");
    // Every way out names a place that exists, so that only the rules can stop it.
    const std::string up = "../" + outside.path().filename().string();

    struct Case {
        std::string sound;
        std::string leadsTo;    // below the program folder; empty: no sound
        std::string reasonPart; // part of the reason when there is no sound
        bool refusedByText;     // soundTextRefusal says no, without the disk
    };
    const Case cases[] = {
        {"上课.mp3", "voic/上课.mp3", "", false},
        {"广播.MP3", "voic/广播.MP3", "", false},
        {"内.mp3", "voic/内.mp3", "", false},
        {"voic/晨读", "voic/晨读", "", false},
        {"voic\\晨读\\", "voic/晨读", "", false},
        {"voic\\.\\晨读", "voic/晨读", "", false},
        {"voic/内链", "voic/内链", "", false},
        {"voic", "voic", "", false},
        {"", "", "没有指定声音", false},
        {"上课.MP3", "", "voic 中没有文件 上课.MP3", false},
        {"晨读/1.mp3", "", "voic 中没有文件", false},
        {"dir.mp3", "", "是文件夹", false},
        {"断.mp3", "", "voic/断.mp3 是指向 voic 之外或不存在之处的链接", false},
        {"voic/没有", "", "没有文件夹 voic/没有", false},
        {"链.mp3", "", "voic/链.mp3 是指向 voic 之外或不存在之处的链接", false},
        {"voic/链", "", "文件夹 voic/链 是指向 voic 之外或不存在之处的链接", false},
        {"voic/链/深", "", "文件夹 voic/链/深 是指向 voic 之外", false},
        {"voic/断/深", "", "文件夹 voic/断/深 是指向 voic 之外", false},
        {"旁", "", "不在 voic 中", true},
        {"Voic/晨读", "", "不在 voic 中", true},
        {".", "", "voic 中没有文件 .", false},
        {"..", "", "\"..\"", true},
        {"../旁", "", "\"..\"", true},
        {"voic/../旁", "", "\"..\"", true},
        {"voic/../" + up + "/外", "", "\"..\"", true},
        {"../../" + up + "/外.mp3", "", "\"..\"", true},
        {"../../../../../../etc", "", "\"..\"", true},
        {"voic\\..\\..\\" + up + "\\外", "", "\"..\"", true},
        {"/voic/晨读", "", "绝对路径", true},
        {"\\voic\\晨读", "", "绝对路径", true},
        {"C:\\voic\\晨读", "", "绝对路径", true},
        {(outside / "外").string(), "", "绝对路径", true},
        {(outside / "外.mp3").string(), "", "绝对路径", true},
        {"上课.mp3\n", "", "控制字符", true},
        {std::string("上课\0.mp3", 11), "", "控制字符", true},
        {"voic/晨读\x1b[2J", "", "控制字符", true},
    };
    // The same answers for the program folder written with a final separator.
    for (const SoundResolver& sounds : {SoundResolver(program.path()), SoundResolver(program.path() / "")})
        for (const Case& c : cases) {
            const ResolvedSound found = sounds.resolve(c.sound);
            if (c.leadsTo.empty()) {
                EXPECT_FALSE(found.location) << c.sound << " leads to " << found.location->path;
                EXPECT_NE(found.problem.find(c.reasonPart), std::string::npos)
                    << c.sound << ": " << found.problem;
            } else {
                ASSERT_TRUE(found.location) << c.sound << ": " << found.problem;
                EXPECT_EQ(found.location->path.lexically_normal(), (program / c.leadsTo).lexically_normal())
                    << c.sound;
                EXPECT_EQ(found.location->folder, !namesSingleFile(c.sound)) << c.sound;
            }
            EXPECT_EQ(soundTextRefusal(c.sound).has_value(), c.refusedByText) << c.sound;
        }
}

TEST(SoundResolver, TracksLeaveOutLinksThatLeadOutOfVoic) {
    test::TempFolder program;
    test::TempFolder outside;
    program.write("voic/上课.mp3", "x");
    program.write("voic/晨读/1.mp3", "x");
    outside.write("外.mp3", "x");
    fs::create_symlink(outside / "外.mp3", program / "voic/晨读/0.mp3");
    fs::create_symlink(program / "voic/上课.mp3", program / "voic/晨读/2.mp3");
    const SoundResolver sounds(program.path());
    EXPECT_EQ(sounds.tracks(program / "voic/晨读"),
              (std::vector<fs::path>{program / "voic/晨读/1.mp3", program / "voic/晨读/2.mp3"}));

    // A voic that is itself a link (sounds kept on another disk) is the program's own choice.
    test::TempFolder moved;
    moved.write("voic/下课.mp3", "x");
    fs::remove_all(program / "voic");
    fs::create_directory_symlink(moved / "voic", program / "voic");
    const ResolvedSound found = sounds.resolve("下课.mp3");
    ASSERT_TRUE(found.location) << found.problem;
    EXPECT_TRUE(sounds.leadsInside(found.location->path));
}

} // namespace
} // namespace halvix
