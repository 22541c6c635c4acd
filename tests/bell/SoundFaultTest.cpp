// Folder entries that are not what a playlist expects: thousands of tracks, a name that is a file,
// a folder that is gone. The bell must start what can be played and never stall on the rest.
#include "bell/Playback.h"
#include "support/TempFolder.h"

#include "RecordingPlayer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace halvix {
namespace {

namespace fs = std::filesystem;

constexpr int kTracks = 5000;

std::string trackName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "%05d.mp3", i);
    return name;
}

TEST(SoundFault, AFolderOfThousandsOfTracksPlaysThemAllInNameOrder) {
    test::TempFolder program;
    const fs::path folder = program.path() / "晨读";
    fs::create_directories(folder / "sub.mp3"); // a folder named like a track is not one
    // Written in reverse, so that name order is not simply creation order.
    for (int i = kTracks; i >= 1; --i)
        std::ofstream(folder / trackName(i)) << 'x';
    for (int i = 0; i < 500; ++i)
        std::ofstream(folder / ("说明" + std::to_string(i) + ".txt")) << 'x';

    test::RecordingPlayer single;
    test::RecordingPlayer tracks;
    Playback playback(single, tracks, program.path());
    const auto started = std::chrono::steady_clock::now();
    playback.startSound("晨读");
    const auto took = std::chrono::steady_clock::now() - started;

    ASSERT_EQ(tracks.playedNames(), std::vector<std::string>{trackName(1)});
    ASSERT_EQ(playback.playlist().size(), std::size_t(kTracks - 1));
    EXPECT_EQ(fs::path(playback.playlist().front()).filename(), trackName(2));
    EXPECT_EQ(fs::path(playback.playlist().back()).filename(), trackName(kTracks));
    EXPECT_TRUE(single.played.empty());
    std::printf("listing and starting a folder of %d tracks and 500 other files took %.1f ms\n", kTracks,
                std::chrono::duration<double, std::milli>(took).count());
}

TEST(SoundFault, AFolderEntryThatIsNoFolderPlaysNothingAndEndsThePlaylist) {
    test::TempFolder program;
    program.write("早操/1.mp3", "x");
    program.write("早操/2.mp3", "x");
    program.write("午休", "一个文件, 不是文件夹");
    test::RecordingPlayer single;
    test::RecordingPlayer tracks;
    Playback playback(single, tracks, program.path());

    for (const char* sound : {"午休", "不存在的文件夹", "早操/1.mp3/更深"}) {
        playback.startSound("早操");
        ASSERT_EQ(playback.playlist().size(), 1u);
        tracks.played.clear();
        playback.startSound(sound);
        EXPECT_TRUE(tracks.played.empty()) << sound;
        EXPECT_TRUE(playback.playlist().empty()) << sound;
        for (int tick = 0; tick < 30; ++tick)
            playback.onTick();
        EXPECT_TRUE(tracks.played.empty()) << sound << ": nothing is left to play";
    }
}

} // namespace
} // namespace halvix
