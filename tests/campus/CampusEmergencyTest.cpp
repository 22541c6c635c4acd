// What a building or the 主控 does with the campus's retained emergency state.
#include "campus/CampusEmergency.h"

#include <gtest/gtest.h>

namespace halvix::campus {
namespace {

TEST(CampusEmergency, CampusWordIsObeyedUnlessRepeatedStaleOrOlderThanOwn) {
    using Step = CampusEmergencyStep;
    const EmergencyState none;
    const EmergencyState campusOn{true, "警报.mp3", {"lab"}, 1000, "值班室"};
    const EmergencyState campusOff{false, "", {}, 2000, "值班室"};
    const EmergencyState ownOn{true, "警报.mp3", {}, 3000, "命令行"};
    const EmergencyState ownOff{false, "", {}, 3000, "命令行"};
    const struct {
        const char* what;
        EmergencyState own;
        std::optional<EmergencyState> lastHeard;
        EmergencyState arriving;
        bool central;
        Step expected;
    } cases[] = {
        {"a node started without a state obeys the retained one", none, std::nullopt, campusOn, false,
         Step::Obey},
        {"a node resumed from its file hears the same", campusOn, std::nullopt, campusOn, false, Step::Obey},
        {"a retained clear newer than the stored emergency clears it", campusOn, std::nullopt, campusOff,
         false, Step::Obey},
        {"the same word at a reconnect leaves a node's own emergency", ownOn, campusOff, campusOff, false,
         Step::Repeated},
        {"a new word overrides a node's own emergency", ownOn, campusOff, campusOn, false, Step::Obey},
        {"a node keeps its own newer emergency over an old clear", ownOn, std::nullopt, campusOff, false,
         Step::KeepOwn},
        {"a node never keeps its own clear over the campus's emergency", ownOff, std::nullopt, campusOn,
         false, Step::Obey},
        {"the 主控 keeps its own newer clear", ownOff, std::nullopt, campusOn, true, Step::KeepOwn},
        {"the 主控 drops a retained word older than its own publication", ownOn, ownOn, campusOff, true,
         Step::Stale},
        {"a building takes even an older word once it heard a newer", ownOn, ownOn, campusOff, false,
         Step::Obey},
    };
    for (const auto& c : cases)
        EXPECT_EQ(campusEmergencyStep(c.own, c.lastHeard, c.arriving, c.central), c.expected) << c.what;
}

} // namespace
} // namespace halvix::campus
