#include "emergency/EmergencyState.h"
#include "emergency/EmergencyFile.h"

#include "TempFolder.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace halvix {
namespace {

using nlohmann::json;

const EmergencyState kLabAlarm{true, "警报.mp3", {"lab", "teach"}, 1765180800000, "值班室"};

TEST(EmergencyState, ReadsBackAsWritten) {
    for (const EmergencyState& state : {kLabAlarm, EmergencyState{true, "警报.mp3", {}, 0, ""},
                                        EmergencyState{false, "", {}, 1765180900000, "本机托盘"}}) {
        const EmergencyRead read = readEmergency(writeEmergency(state));
        ASSERT_TRUE(read.ok()) << read.problem;
        EXPECT_EQ(read.state, state);
    }
    // What another writer leaves out keeps its default; a clear needs nothing but active.
    const EmergencyRead cleared = readEmergency(R"({"format":1,"active":false})");
    ASSERT_TRUE(cleared.ok()) << cleared.problem;
    EXPECT_FALSE(cleared.state.active);
}

TEST(EmergencyState, RefusesWhatDoesNotRead) {
    const json good = json::parse(writeEmergency(kLabAlarm));
    const struct {
        const char* what;
        json change;
    } cases[] = {
        {"unknown format", {{"format", 2}}},
        {"no format", {{"format", nullptr}}},
        {"active as text", {{"active", "true"}}},
        {"no active", {{"active", nullptr}}},
        {"active without sound", {{"sound", nullptr}}},
        {"active with an empty sound", {{"sound", ""}}},
        {"sound as number", {{"sound", 7}}},
        {"sound outside voic", {{"sound", "../etc/passwd.mp3"}}},
        {"absolute sound", {{"sound", "/tmp/x.mp3"}}},
        {"sound with control character", {{"sound", "警\n报.mp3"}}},
        {"folder as sound", {{"sound", "课间操"}}},
        {"windows separator", {{"sound", "voic\\警报.mp3"}}},
        {"zone with a topic level", {{"zones", {"lab/x"}}}},
        {"zone wildcard", {{"zones", {"#"}}}},
        {"zones not a list", {{"zones", "lab"}}},
        {"too many zones", {{"zones", std::vector<std::string>(65, "z")}}},
        {"negative time", {{"sinceMs", -1}}},
        {"time as text", {{"sinceMs", "1"}}},
        {"by with escape", {{"by", "\x1b[2J"}}},
        {"by too long", {{"by", std::string(300, 'x')}}},
    };
    for (const auto& c : cases) {
        json payload = good;
        for (const auto& [key, value] : c.change.items()) {
            if (value.is_null())
                payload.erase(key);
            else
                payload[key] = value;
        }
        const EmergencyRead read = readEmergency(payload.dump());
        EXPECT_FALSE(read.ok()) << c.what;
        EXPECT_EQ(read.state, EmergencyState{}) << c.what;
    }
    for (const std::string& raw : {std::string("[]"), std::string("{"), std::string(5000, ' ') + "{}",
                                   std::string(100, '[') + std::string(100, ']'), std::string()})
        EXPECT_FALSE(readEmergency(raw).ok()) << raw.substr(0, 20);
}

TEST(EmergencyState, ConcernsItsZonesAndEveryProgramOutsideACampus) {
    using Zones = std::vector<std::string>;
    const struct {
        EmergencyState state;
        std::optional<std::vector<std::string>> own;
        bool sounds;
    } cases[] = {
        {kLabAlarm, Zones{"lab"}, true},
        {kLabAlarm, Zones{"gym", "teach"}, true},
        {kLabAlarm, Zones{"gym"}, false},
        {kLabAlarm, std::nullopt, true}, // a single PC: every zone
        {kLabAlarm, Zones{}, false},     // a building in no zone: not this one
        {EmergencyState{true, "警报.mp3", {}, 0, ""}, Zones{}, true},
        {EmergencyState{true, "警报.mp3", {}, 0, ""}, Zones{"gym"}, true},
        {EmergencyState{false, "警报.mp3", {}, 0, ""}, std::nullopt, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.state.concerns(c.own), c.sounds)
            << emergencyLine(c.state) << " own " << (c.own ? c.own->size() : 99);
    EXPECT_EQ(emergencyLine(kLabAlarm), "紧急广播中: 警报.mp3 (区域 lab teach)");
    EXPECT_EQ(emergencyLine({}), "没有紧急广播");
}

TEST(EmergencyFile, KeepsTheStateAcrossAStartAndNeverLosesABadFile) {
    test::TempFolder folder;
    std::string problem;
    EXPECT_EQ(loadEmergency(folder.path(), problem), EmergencyState{});
    EXPECT_EQ(problem, "");

    ASSERT_TRUE(saveEmergency(folder.path(), kLabAlarm, problem)) << problem;
    EXPECT_EQ(loadEmergency(folder.path(), problem), kLabAlarm);
    EXPECT_EQ(problem, "");
    EXPECT_FALSE(std::filesystem::exists(folder / (std::string(kEmergencyFile) + ".new")));

    // A damaged file reads as no emergency, says why, and stays for someone to look at.
    const std::string damaged = R"({"format":1,"active":tr)";
    folder.write(kEmergencyFile, damaged);
    EXPECT_EQ(loadEmergency(folder.path(), problem), EmergencyState{});
    EXPECT_NE(problem.find(kEmergencyFile), std::string::npos) << problem;
    std::ifstream kept(folder / kEmergencyFile, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), damaged);

    // A folder that cannot be written says so.
    std::string why;
    EXPECT_FALSE(saveEmergency(folder / "missing-folder", kLabAlarm, why));
    EXPECT_NE(why, "");
}

} // namespace
} // namespace halvix
