#include "campus/SnapshotPublisher.h"
#include "campus/Sha256.h"
#include "campus/SnapshotApplier.h"
#include "support/ScheduleFixture.h"

#include <gtest/gtest.h>

namespace halvix::campus {
namespace {

TEST(SnapshotPublisher, SendsWhatTheBrokerLacksUnderTheNextRevision) {
    test::ScheduleFixture central;
    central.writeWeekFile("1125");
    central.temp().write("voic/上课.mp3", "bell");
    ASSERT_TRUE(storeRevision(central.folder(), 4));
    const Topics topics("t");
    const std::string bell = sha256Hex("bell");
    SoundHashCache cache;
    const auto built = buildSnapshot(central.folder(), 0);
    const std::string current = contentFingerprint(built.snapshot);

    struct Case {
        const char* what;
        BrokerHoldings holdings;
        bool sendWorks;
        Publication::Outcome outcome;
        std::uint64_t revision;
        std::vector<std::string> topicsSent;
    };
    const std::vector<Case> cases = {
        {"empty broker", {}, true, Publication::Outcome::Sent, 5, {topics.sound(bell), topics.snapshot()}},
        {"sound held", {"older", 2, {bell}}, true, Publication::Outcome::Sent, 5, {topics.snapshot()}},
        // A central restored from an old backup still publishes a revision nodes take.
        {"broker ahead", {"older", 9, {bell}}, true, Publication::Outcome::Sent, 10, {topics.snapshot()}},
        {"unchanged", {current, 4, {bell}}, true, Publication::Outcome::Unchanged, 4, {}},
        {"link down", {}, false, Publication::Outcome::Failed, 0, {topics.sound(bell)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> sent;
        const Publication publication = publishSnapshot(central.folder(), topics, c.holdings, cache,
                                                        [&](const std::string& topic, std::string) {
                                                            sent.push_back(topic);
                                                            return c.sendWorks;
                                                        });
        EXPECT_EQ(publication.outcome, c.outcome) << publication.problem;
        EXPECT_EQ(publication.revision, c.revision);
        EXPECT_EQ(sent, c.topicsSent);
    }
    // Only the broker's echo stores a revision.
    EXPECT_EQ(storedRevision(central.folder()), std::optional<std::uint64_t>(4));
}

} // namespace
} // namespace halvix::campus
