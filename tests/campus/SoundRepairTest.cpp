#include "campus/SnapshotReceiver.h"
#include "support/CampusSnapshots.h"
#include "support/FolderContent.h"
#include "support/ScheduleFixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace halvix::campus {
namespace {

namespace fs = std::filesystem;
using Result = SnapshotReceiver::Result;

// A building that applied revision 2 of a plan with three sounds, two of them the same bytes.
struct Building {
    test::ScheduleFixture folder;
    Snapshot snapshot = test::validSnapshot(2);
    SoundBytes bytes;

    Building() {
        snapshot.sounds.clear();
        add("a.mp3", "bell A");
        add("铃声/b.mp3", "bell B, a little longer");
        add("c.mp3", "bell A");
        EXPECT_EQ(applySnapshot(folder.folder(), snapshot, bytes), "");
    }
    void add(const std::string& name, const std::string& content) {
        snapshot.sounds.push_back({name, sha256Hex(content), content.size()});
        bytes[sha256Hex(content)] = content;
    }
    fs::path file(const std::string& name) const { return folder.folder() / "voic" / fs::path(name); }
    std::string hashOf(const std::string& name) const {
        for (const SnapshotSound& sound : snapshot.sounds)
            if (sound.name == name)
                return sound.sha256;
        return {};
    }
};

std::vector<std::string> namesOf(const std::vector<DamagedSound>& sounds) {
    std::vector<std::string> names;
    for (const DamagedSound& sound : sounds)
        names.push_back(sound.sound.name + (sound.missing ? " missing" : " damaged"));
    return names;
}

// Each way a held sound goes wrong is found by the check of the same revision and put back from
// the bytes of its hash; the revision stays, nothing is left beside the sounds.
TEST(SoundRepair, EveryKindOfDamageIsFoundAndPutBack) {
    struct Case {
        const char* what;
        const char* sound;
        std::function<void(const fs::path&)> damage;
        bool missing;
    };
    const std::vector<Case> cases = {
        {"deleted", "铃声/b.mp3", [](const fs::path& f) { fs::remove(f); }, true},
        {"its folder deleted", "铃声/b.mp3", [](const fs::path& f) { fs::remove_all(f.parent_path()); },
         true},
        {"garbage of the same size", "铃声/b.mp3",
         [](const fs::path& f) { test::writeFile(f, std::string(23, 'x')); }, false},
        {"emptied", "a.mp3", [](const fs::path& f) { test::writeFile(f, ""); }, false},
        {"grown", "a.mp3", [](const fs::path& f) { test::writeFile(f, "bell A and more"); }, false},
        {"a link to a good copy", "a.mp3",
         [](const fs::path& f) {
             fs::rename(f, f.parent_path() / "copy");
             fs::create_symlink("copy", f);
         },
         true},
    };
    for (const Case& c : cases) {
        Building building;
        const auto pristine = test::folderContent(building.folder.folder() / "voic");
        c.damage(building.file(c.sound));
        SnapshotReceiver receiver(building.folder.folder());

        ASSERT_EQ(receiver.offerSnapshot(writeSnapshot(building.snapshot)), Result::Waiting) << c.what;
        EXPECT_EQ(receiver.wanted(), std::vector<std::string>{building.hashOf(c.sound)}) << c.what;
        EXPECT_EQ(namesOf(receiver.damaged()),
                  std::vector<std::string>{std::string(c.sound) + (c.missing ? " missing" : " damaged")})
            << c.what;
        // Bytes nobody waits for change nothing.
        EXPECT_EQ(receiver.offerSound(sha256Hex("other"), "other"), Result::Nothing) << c.what;

        const std::string hash = building.hashOf(c.sound);
        ASSERT_EQ(receiver.offerSound(hash, building.bytes.at(hash)), Result::Repaired) << c.what;
        EXPECT_EQ(namesOf(receiver.repaired()), namesOf({DamagedSound{{c.sound, hash, 0}, c.missing, {}}}))
            << c.what;
        EXPECT_TRUE(receiver.wanted().empty()) << c.what;
        EXPECT_EQ(fs::is_symlink(building.file(c.sound)), false) << c.what;
        EXPECT_EQ(test::readFile(building.file(c.sound)), building.bytes.at(hash)) << c.what;
        EXPECT_EQ(storedRevision(building.folder.folder()), 2u) << c.what;
        auto now = test::folderContent(building.folder.folder() / "voic");
        now.erase("copy");
        EXPECT_EQ(test::changedEntries(pristine, now), std::vector<std::string>{}) << c.what;
        // Checked again: all is well.
        EXPECT_EQ(receiver.offerSnapshot(writeSnapshot(building.snapshot)), Result::Nothing) << c.what;
    }
}

// Sounds that share their bytes are put back by one arrival; bytes that do not match their hash,
// or a folder where a sound belongs, leave the sound damaged with the reason and no longer wanted.
TEST(SoundRepair, SharedBytesBadBytesAndUnwritablePlaces) {
    Building building;
    fs::remove(building.file("a.mp3"));
    test::writeFile(building.file("c.mp3"), "noise");
    fs::remove(building.file("铃声/b.mp3"));
    fs::create_directories(building.file("铃声/b.mp3") / "x");
    SnapshotReceiver receiver(building.folder.folder());
    ASSERT_EQ(receiver.offerSnapshot(writeSnapshot(building.snapshot)), Result::Waiting);
    const std::string a = building.hashOf("a.mp3");
    const std::string b = building.hashOf("铃声/b.mp3");
    EXPECT_EQ(receiver.wanted(), (std::vector<std::string>{a, b}));

    ASSERT_EQ(receiver.offerSound(a, building.bytes.at(a)), Result::Repaired);
    EXPECT_EQ(namesOf(receiver.repaired()), (std::vector<std::string>{"a.mp3 missing", "c.mp3 damaged"}));
    EXPECT_EQ(test::readFile(building.file("c.mp3")), "bell A");

    ASSERT_EQ(receiver.offerSound(b, building.bytes.at(b)), Result::Repaired);
    EXPECT_TRUE(receiver.repaired().empty());
    ASSERT_EQ(receiver.damaged().size(), 1u);
    EXPECT_NE(receiver.damaged()[0].problem.find("是一个文件夹"), std::string::npos)
        << receiver.damaged()[0].problem;
    EXPECT_TRUE(receiver.wanted().empty());

    // Tampered bytes under a hash are never written.
    fs::remove_all(building.file("铃声/b.mp3"));
    ASSERT_EQ(receiver.offerSnapshot(writeSnapshot(building.snapshot)), Result::Waiting);
    ASSERT_EQ(receiver.offerSound(b, "tampered"), Result::Repaired);
    EXPECT_TRUE(receiver.repaired().empty());
    ASSERT_EQ(receiver.damaged().size(), 1u);
    EXPECT_NE(receiver.damaged()[0].problem.find("SHA-256"), std::string::npos);
    EXPECT_FALSE(fs::exists(building.file("铃声/b.mp3")));
    EXPECT_EQ(storedRevision(building.folder.folder()), 2u);
}

// A newer snapshot takes over: it fetches what it lacks itself, and the repair's waiting ends.
// A check under way ends at a stop.
TEST(SoundRepair, ANewerSnapshotEndsTheRepairAndAStopEndsTheCheck) {
    Building building;
    fs::remove(building.file("a.mp3"));
    SnapshotReceiver receiver(building.folder.folder());
    ASSERT_EQ(receiver.offerSnapshot(writeSnapshot(building.snapshot)), Result::Waiting);
    Snapshot newer = building.snapshot;
    newer.revision = 3;
    ASSERT_EQ(receiver.offerSnapshot(writeSnapshot(newer)), Result::Waiting);
    EXPECT_TRUE(receiver.damaged().empty());
    const std::string a = building.hashOf("a.mp3");
    ASSERT_EQ(receiver.offerSound(a, building.bytes.at(a)), Result::Applied);
    EXPECT_EQ(storedRevision(building.folder.folder()), 3u);

    fs::remove(building.file("a.mp3"));
    SnapshotReceiver stopped(building.folder.folder());
    stopped.stop();
    EXPECT_EQ(stopped.offerSnapshot(writeSnapshot(newer)), Result::Nothing);
}

// Whatever is damaged, in whatever order the bytes (and bytes nobody asked for) arrive, the held
// sounds end as the snapshot names them and the revision stays.
TEST(SoundRepair, RandomDamageAlwaysEndsRepaired) {
    std::mt19937 random(20261210);
    const std::vector<std::function<void(const fs::path&)>> damages = {
        [](const fs::path& f) { fs::remove(f); },
        [](const fs::path& f) { test::writeFile(f, "garbage"); },
        [](const fs::path& f) { test::writeFile(f, ""); },
        [](const fs::path& f) { fs::remove_all(f.parent_path() / "铃声"); },
    };
    for (int round = 0; round < 40; ++round) {
        Building building;
        const auto pristine = test::folderContent(building.folder.folder() / "voic");
        for (const SnapshotSound& sound : building.snapshot.sounds)
            if (random() % 2)
                damages[random() % damages.size()](building.file(sound.name));
        SnapshotReceiver receiver(building.folder.folder());
        const Result checked = receiver.offerSnapshot(writeSnapshot(building.snapshot));
        ASSERT_TRUE(checked == Result::Waiting || checked == Result::Nothing) << round;
        std::vector<std::pair<std::string, std::string>> arrivals(building.bytes.begin(),
                                                                  building.bytes.end());
        arrivals.push_back({sha256Hex("stray"), "stray"});
        std::shuffle(arrivals.begin(), arrivals.end(), random);
        for (const auto& [hash, content] : arrivals)
            receiver.offerSound(hash, content);

        EXPECT_TRUE(receiver.wanted().empty()) << round;
        EXPECT_TRUE(receiver.damaged().empty()) << round;
        EXPECT_EQ(test::changedEntries(pristine, test::folderContent(building.folder.folder() / "voic")),
                  std::vector<std::string>{})
            << round;
        EXPECT_EQ(storedRevision(building.folder.folder()), 2u) << round;
    }
}

} // namespace
} // namespace halvix::campus
