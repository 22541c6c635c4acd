#include "campus/SnapshotReceiver.h"
#include "support/CampusSnapshots.h"
#include "support/FolderContent.h"
#include "support/ScheduleFixture.h"

#include <gtest/gtest.h>

namespace halvix::campus {
namespace {

using Result = SnapshotReceiver::Result;

// A snapshot of revision `revision` naming sounds "a.mp3", "b.mp3", ... with the given bytes.
Snapshot snapshotWith(std::uint64_t revision, const std::vector<std::string>& sounds) {
    Snapshot snapshot = test::validSnapshot(revision);
    snapshot.sounds.clear();
    char name = 'a';
    for (const std::string& bytes : sounds)
        snapshot.sounds.push_back({std::string(1, name++) + ".mp3", sha256Hex(bytes), bytes.size()});
    return snapshot;
}

TEST(SnapshotReceiver, AppliesOnceEverySoundItLacksHasArrivedInAnyOrder) {
    test::ScheduleFixture node;
    node.temp().write("voic/a.mp3", "bell A");
    SnapshotReceiver receiver(node.folder());

    // The sound the building already holds is not asked for; a sound nobody waits for is dropped.
    EXPECT_EQ(receiver.offerSound(sha256Hex("bell B"), "bell B"), Result::Nothing);
    EXPECT_EQ(receiver.offerSnapshot(writeSnapshot(snapshotWith(2, {"bell A", "bell B", "bell C"}))),
              Result::Waiting);
    EXPECT_EQ(receiver.wanted(), (std::vector<std::string>{sha256Hex("bell B"), sha256Hex("bell C")}));
    EXPECT_EQ(receiver.offerSound(sha256Hex("bell C"), "bell C"), Result::Waiting);
    EXPECT_EQ(receiver.offerSound(sha256Hex("other"), "other"), Result::Nothing);
    // A newer snapshot while waiting replaces the waiting one and keeps the bytes it still needs.
    EXPECT_EQ(receiver.offerSnapshot(writeSnapshot(snapshotWith(3, {"bell A", "bell B", "bell C"}))),
              Result::Waiting);
    EXPECT_EQ(receiver.wanted(), (std::vector<std::string>{sha256Hex("bell B")}));
    EXPECT_EQ(receiver.offerSound(sha256Hex("bell B"), "bell B"), Result::Applied);
    EXPECT_EQ(storedRevision(node.folder()), 3u);
    EXPECT_EQ(test::readFile(node.folder() / "voic/c.mp3"), "bell C");

    // Delivered again at a reconnect: nothing to do. An older one is refused with its reason.
    EXPECT_EQ(receiver.offerSnapshot(writeSnapshot(snapshotWith(3, {"bell A"}))), Result::Nothing);
    EXPECT_EQ(receiver.offerSnapshot(writeSnapshot(snapshotWith(1, {}))), Result::Refused);
    EXPECT_NE(receiver.problem().find("版本 1 旧于已应用的版本 3"), std::string::npos) << receiver.problem();
    // With every sound in place a newer snapshot applies at once, and the refusal is forgotten.
    EXPECT_EQ(receiver.offerSnapshot(writeSnapshot(snapshotWith(4, {"bell A", "bell B"}))), Result::Applied);
    EXPECT_EQ(receiver.problem(), "");
}

TEST(SnapshotReceiver, BadBytesOrABadSnapshotLeaveThePreviousCopyRinging) {
    test::ScheduleFixture node;
    SnapshotReceiver receiver(node.folder());
    ASSERT_EQ(receiver.offerSnapshot(writeSnapshot(snapshotWith(2, {"bell A"}))), Result::Waiting);
    ASSERT_EQ(receiver.offerSound(sha256Hex("bell A"), "bell A"), Result::Applied);
    const auto before = test::folderContent(node.folder());

    EXPECT_EQ(receiver.offerSnapshot(writeSnapshot(snapshotWith(3, {"bell B", "bell C"}))), Result::Waiting);
    EXPECT_EQ(receiver.offerSound(sha256Hex("bell B"), "bell B"), Result::Waiting);
    EXPECT_EQ(receiver.offerSound(sha256Hex("bell C"), "tampered"), Result::Refused);
    EXPECT_NE(receiver.problem().find("SHA-256 不符"), std::string::npos) << receiver.problem();
    EXPECT_TRUE(receiver.wanted().empty());
    // The right bytes arriving late change nothing: the refused snapshot no longer waits.
    EXPECT_EQ(receiver.offerSound(sha256Hex("bell C"), "bell C"), Result::Nothing);

    nlohmann::json unknownTable = nlohmann::json::parse(writeSnapshot(snapshotWith(4, {})));
    unknownTable["tables"].push_back(
        {{"name", "users"}, {"columns", {"x"}}, {"rows", nlohmann::json::array()}});
    EXPECT_EQ(receiver.offerSnapshot(unknownTable.dump()), Result::Refused);
    EXPECT_NE(receiver.problem().find("users"), std::string::npos) << receiver.problem();

    EXPECT_EQ(test::changedEntries(before, test::folderContent(node.folder())), std::vector<std::string>{});
    EXPECT_EQ(storedRevision(node.folder()), 2u);
}

} // namespace
} // namespace halvix::campus
