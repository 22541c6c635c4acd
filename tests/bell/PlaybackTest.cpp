#include "bell/Playback.h"

#include "bell/BellEngine.h"
#include "bell/PlanSource.h"
#include "store/TextTable.h"
#include "support/FiringLog.h"
#include "support/PlanTitles.h"
#include "support/RecordingPlayer.h"
#include "support/TempFolder.h"
#include "time/LocalTime.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace halvix {
namespace {

namespace fs = std::filesystem;
using test::RecordingPlayer;
using test::TempFolder;
using Names = std::vector<std::string>;

class PlaybackTest : public ::testing::Test {
protected:
    PlaybackTest() {
        for (const char* name : {"voic/上课.mp3", "voic/下课.wav", "voic/广播.MP3", "voic/晨读/1.mp3",
                                 "voic/晨读/2.mp3", "voic/午休/a.wma", "voic/午休/b.wav", "voic/午休/c.mp3"})
            folder.write(name, "");
    }

    // Ticks until the track player has played `count` tracks in all, at most `limit` ticks; the
    // tick numbers (from 1) at which each new track began.
    std::vector<int> ticksOfNextTracks(std::size_t count, int limit = 120) {
        std::vector<int> at;
        for (int tick = 1; tick <= limit && track.played.size() < count; ++tick) {
            const auto before = track.played.size();
            playback.onTick();
            if (track.played.size() > before)
                at.push_back(tick);
        }
        return at;
    }

    TempFolder folder;
    RecordingPlayer single;
    RecordingPlayer track;
    Playback playback{single, track, folder.path()};
};

// A sound names a single file when its fourth byte from the end is a dot (else a folder of tracks);
// a folder's tracks are the files whose last three bytes are exactly mp3, MP3, wav or wma.
TEST(PlaybackRules, SingleFilesAndTracksByTheirLastBytes) {
    struct Case {
        const char* name;
        bool single;
        bool track;
    } cases[] = {
        {"上课.mp3", true, true},     {"x.wav", true, true},  {".mp3", true, true},
        {".ab", true, false},         {"a.b", false, false},  {"x.flac", false, false},
        {"voic\\晨读", false, false}, {"晨读", false, false}, {"ring.mp3 ", false, false},
        {"", false, false},           {"1.mp3", true, true},  {"2.MP3", true, true},
        {"3.wav", true, true},        {"4.wma", true, true},  {"mp3", false, true},
        {"5.WAV", true, false},       {"6.Mp3", true, false}, {"7.WMA", true, false},
        {"notes.txt", true, false},   {"8.mp4", true, false}, {"9.mp3 ", false, false},
        {"mp", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(namesSingleFile(c.name), c.single) << c.name;
        EXPECT_EQ(isTrackName(c.name), c.track) << c.name;
    }
}

TEST_F(PlaybackTest, SingleFilePlaysFromVoicOnTheSingleChannel) {
    playback.startSound("上课.mp3");
    EXPECT_EQ(single.played, Names{(folder.path() / "voic" / "上课.mp3").string()});
    EXPECT_FALSE(playback.folderMode());
    EXPECT_TRUE(track.calls.empty());

    // A second file replaces the first on the same channel (the channel closes what it played).
    playback.startSound("下课.wav");
    EXPECT_EQ(single.playedNames(), (Names{"上课.mp3", "下课.wav"}));
}

// While an emergency holds the loudspeakers, firings and their preparation reach no player at all.
TEST_F(PlaybackTest, HeldPlaybackPlaysAndPreparesNothingUntilReleased) {
    playback.hold(true);
    for (const char* sound : {"上课.mp3", "晨读", "voic/午休"}) {
        playback.prepareSound(sound);
        playback.startSound(sound);
        playback.onTick();
    }
    EXPECT_TRUE(single.calls.empty());
    EXPECT_TRUE(single.prepared.empty());
    EXPECT_TRUE(track.calls.empty());
    playback.hold(false);
    playback.startSound("上课.mp3");
    EXPECT_EQ(single.playedNames(), Names{"上课.mp3"});
}

TEST_F(PlaybackTest, MissingOrEmptySoundPlaysNothing) {
    for (const char* sound :
         {"上课.MP3", "没有.mp3", "", "x.flac", "没有的文件夹", "\\", "/", ".\\", "voic/.."}) {
        single.played.clear();
        track.played.clear();
        playback.startSound(sound);
        EXPECT_TRUE(single.played.empty()) << sound;
        EXPECT_TRUE(track.played.empty()) << sound;
        EXPECT_TRUE(playback.playlist().empty()) << sound;
    }
    // An empty text is never the program folder taken as a playlist.
    folder.write("loud.mp3", "");
    playback.startSound("");
    EXPECT_TRUE(track.played.empty());
    EXPECT_FALSE(playback.folderMode());
}

TEST_F(PlaybackTest, FolderTracksInNameOrderOnlyWithExactExtensions) {
    for (const char* name :
         {"voic/选/4.Mp3", "voic/选/notes.txt", "voic/选/3.wma", "voic/选/2.WAV", "voic/选/1.mp3",
          "voic/选/b.MP3", "voic/选/A.wav", "voic/选/晨.mp3", "voic/选/10.mp3", "voic/选/mp3"})
        folder.write(name, "");
    fs::create_directories(folder / "voic" / "选" / "sub.mp3");
    playback.startSound("voic/选");
    EXPECT_TRUE(playback.folderMode());
    EXPECT_EQ(track.playedNames(), Names{"1.mp3"});
    Names rest;
    for (const auto& path : playback.playlist()) {
        EXPECT_EQ(fs::path(path).parent_path(), folder / "voic" / "选");
        rest.push_back(fs::path(path).filename().string());
    }
    EXPECT_EQ(rest, (Names{"10.mp3", "3.wma", "A.wav", "b.MP3", "mp3", "晨.mp3"}));
}

TEST_F(PlaybackTest, FolderTextsUseEitherSeparatorAndNothingOutsideVoicPlays) {
    for (const char* text : {"voic\\晨读", "voic/晨读", "voic\\晨读\\", "voic\\.\\晨读"}) {
        track.played.clear();
        playback.startSound(text);
        EXPECT_EQ(track.played, Names{(folder.path() / "voic" / "晨读" / "1.mp3").string()}) << text;
    }
    // Folders and files that exist, each with a playable name, beside voic, beside the program
    // folder and behind a link in voic: none of them sounds or is prepared.
    TempFolder outside;
    outside.write("外/1.mp3", "");
    outside.write("外.mp3", "");
    folder.write("旁/1.mp3", "");
    fs::create_directory_symlink(outside / "外", folder / "voic" / "链");
    fs::create_symlink(outside / "外.mp3", folder / "voic" / "链.mp3");
    const std::string up = "../" + outside.path().filename().string();
    const std::vector<std::string> texts{
        "旁",      "/voic/晨读", "voic/../" + up + "/外",       (outside / "外").string(),
        "voic/链", "链.mp3",     "voic/../../" + up + "/外.mp3"};
    track.played.clear();
    for (const std::string& text : texts) {
        playback.prepareSound(text);
        playback.startSound(text);
        EXPECT_TRUE(single.prepared.empty()) << text;
        EXPECT_TRUE(single.played.empty()) << text;
        EXPECT_TRUE(track.played.empty()) << text;
    }
}

TEST_F(PlaybackTest, NextTrackFollowsTheLengthOfTheOneBefore) {
    // Lengths known at once: a track of L ms started by a firing is followed L / 1000 + 1 s later
    // (the firing tick's own step counts as the first second), and one started by a tick
    // L / 1000 + 2 s later.
    track.lengthOf = {{"a.wma", 2500}, {"b.wav", 999}, {"c.mp3", 4000}};
    playback.startSound("voic/午休");
    playback.onTick(); // the step of the firing tick
    EXPECT_EQ(ticksOfNextTracks(3), (std::vector<int>{3, 5}));
    EXPECT_EQ(track.playedNames(), (Names{"a.wma", "b.wav", "c.mp3"}));
    EXPECT_TRUE(playback.playlist().empty());
    // The last track ends the playlist: no more playback, however long it runs.
    EXPECT_TRUE(ticksOfNextTracks(4, 30).empty());
}

TEST_F(PlaybackTest, LengthReportedAfterTheTrackStartedGivesTheSameGaps) {
    playback.startSound("voic/午休");
    playback.onTick(); // firing tick
    playback.onTrackLength(2500);
    playback.onTick();
    playback.onTick();
    EXPECT_EQ(track.played.size(), 1u);
    // Reported late (after two more ticks): the ticks already passed count against the length.
    track.lengthOf.clear();
    EXPECT_EQ(ticksOfNextTracks(2), (std::vector<int>{1}));
    playback.onTick();
    playback.onTick();
    playback.onTrackLength(3000); // due 3 / 1 + 1 ticks after its start, two of them passed
    EXPECT_EQ(playback.trackSecondsLeft(), 2);
    EXPECT_EQ(ticksOfNextTracks(3), (std::vector<int>{3}));
}

TEST_F(PlaybackTest, UnknownOrUnplayableLengthNeverStallsTheList) {
    playback.startSound("voic/午休");
    playback.onTick();
    // Never reported: the next track comes once the wait for the length runs out.
    EXPECT_EQ(ticksOfNextTracks(2), (std::vector<int>{Playback::kLengthWaitTicks - 1}));
    // Reported as 0 (cannot be played): tried again one to two seconds later.
    playback.onTrackLength(0);
    EXPECT_EQ(ticksOfNextTracks(3), (std::vector<int>{2}));
    // The first report is the new track's; a second one (a late report) changes nothing.
    playback.onTrackLength(2000);
    playback.onTrackLength(600000);
    EXPECT_EQ(playback.trackSecondsLeft(), 3);
}

TEST_F(PlaybackTest, SingleFileEndsAPlaylistButNotTheTrackThatSounds) {
    track.lengthOf = {{"a.wma", 3000}, {"b.wav", 3000}, {"c.mp3", 3000}};
    playback.startSound("voic/午休");
    playback.startSound("上课.mp3");
    EXPECT_FALSE(playback.folderMode());
    EXPECT_TRUE(playback.playlist().empty());
    EXPECT_EQ(track.calls.size(), 1u); // a.wma plays on: not closed
    EXPECT_TRUE(ticksOfNextTracks(2, 30).empty());
    EXPECT_EQ(single.playedNames(), Names{"上课.mp3"});
}

TEST_F(PlaybackTest, NewFolderReplacesTheRunningPlaylistAndLeavesTheSingleFile) {
    track.lengthOf = {{"a.wma", 60000}, {"1.mp3", 1000}, {"2.mp3", 1000}};
    playback.startSound("上课.mp3");
    playback.startSound("voic/午休");
    playback.onTick();
    playback.onTick();
    playback.startSound("voic\\晨读");
    EXPECT_EQ(track.playedNames(), (Names{"a.wma", "1.mp3"}));
    EXPECT_EQ(playback.playlist().size(), 1u);
    EXPECT_EQ(single.calls.size(), 1u);
    // A folder without tracks leaves nothing queued: the old playlist is gone all the same.
    playback.startSound("voic/午休");
    playback.startSound("voic/空");
    EXPECT_TRUE(playback.playlist().empty());
    EXPECT_TRUE(ticksOfNextTracks(10, 70).empty());
}

// The bell hands the single player each armed entry's file ahead of its firing, so the player can
// get it ready; folders are not prepared, and the file prepared is the one that then plays.
TEST(PlaybackPreparation, ArmingPreparesTheNextSingleFileSound) {
    class NamingPlayer final : public SoundPlayer {
    public:
        void prepare(const std::string& fullPath) override { calls.push_back("prepare " + name(fullPath)); }
        unsigned long long playPath(const std::string& fullPath) override {
            calls.push_back("play " + name(fullPath));
            return calls.size();
        }
        void close() override {}
        long long lengthMs() const override { return 0; }
        static std::string name(const std::string& path) {
            const fs::path file(path);
            return file.parent_path().filename().string() + "/" + file.filename().string();
        }
        Names calls;
    };
    class FixedSource final : public PlanSource {
    public:
        LoadResult loadDayPlan(DayPlan& loaded, const LocalTime&) override {
            loaded = plan;
            return LoadResult::Loaded;
        }
        DayPlan plan;
    };

    TempFolder folder;
    for (const char* name : {"voic/上课.mp3", "voic/下课.wav", "voic/晨读/1.mp3"})
        folder.write(name, "");
    NamingPlayer single;
    RecordingPlayer track;
    Playback playback{single, track, folder.path()};
    FixedSource source;
    source.plan.setTitles(test::kPlanTitles);
    for (const auto& [time, sound] :
         {std::pair{"08:00:00", "上课.mp3"}, {"08:00:10", "voic\\晨读"}, {"08:00:30", "下课.wav"}})
        source.plan.append({"", "", time, "", sound, EntryState::Pending, ""});
    DayPlan plan;
    LocalTime now{2027, 3, 15, 7, 59, 0, 1};
    test::FiringLog view{plan, now};
    std::atomic<int> countdown{0};
    BellEngine engine{plan, view, source, playback, countdown};

    engine.reloadPlan(now);
    EXPECT_EQ(single.calls, Names{"prepare voic/上课.mp3"});
    for (; now.secondOfDay() < 8 * 3600 + 40; ++now.second, now.minute += now.second / 60, now.second %= 60,
                                              now.hour += now.minute / 60, now.minute %= 60)
        engine.onTick(now);
    EXPECT_EQ(single.calls, (Names{"prepare voic/上课.mp3", "play voic/上课.mp3", "prepare voic/下课.wav",
                                   "play voic/下课.wav"}));
    EXPECT_EQ(track.playedNames(), Names{"1.mp3"});
}

// Folder entries that are not what a playlist expects: thousands of tracks, a name that is a file,
// a folder that is gone. The bell must start what can be played and never stall on the rest.
constexpr int kTracks = 5000;

std::string trackName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "%05d.mp3", i);
    return name;
}

TEST(SoundFault, AFolderOfThousandsOfTracksPlaysThemAllInNameOrder) {
    test::TempFolder program;
    const fs::path folder = program.path() / "voic" / "晨读";
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
    playback.startSound("voic/晨读");
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
    program.write("voic/早操/1.mp3", "x");
    program.write("voic/早操/2.mp3", "x");
    program.write("voic/午休", "一个文件, 不是文件夹");
    test::RecordingPlayer single;
    test::RecordingPlayer tracks;
    Playback playback(single, tracks, program.path());

    for (const char* sound : {"voic/午休", "voic/不存在的文件夹", "voic/早操/1.mp3/更深"}) {
        playback.startSound("voic/早操");
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
