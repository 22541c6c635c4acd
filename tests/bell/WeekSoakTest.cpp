// A school week of the default program folder, second by second: the bell, fed a simulated clock,
// loads each day's table through the real plan selection on a copy of the default database, takes
// one exam day, reloads every night, and must ring every entry of each day exactly once, at its
// time, with its sound, and nothing else.

#include "bell/BellEngine.h"
#include "bell/DayPlanSelector.h"
#include "bell/PlanSource.h"
#include "bell/PlanView.h"
#include "bell/Playback.h"
#include "common/PathText.h"
#include "exam/ExamPlan.h"
#include "exam/ExamSettings.h"
#include "store/ScheduleDatabase.h"
#include "store/TextTable.h"
#include "support/BellRig.h"
#include "support/FakeClock.h"
#include "support/RecordingSink.h"
#include "support/TempFolder.h"
#include "time/ClockText.h"
#include "time/LocalTime.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace halvix {
namespace {

namespace fs = std::filesystem;
using test::dateTime;
using test::localTimeAt;
using test::RecordingSink;

// One entry that rang (or is to ring): its date, the time and sound texts of its row.
struct Ring {
    long long day = 0; // dayNumber
    std::string time;
    std::string sound;
    bool operator<(const Ring& other) const {
        return std::tie(day, time, sound) < std::tie(other.day, other.time, other.sound);
    }
    bool operator==(const Ring&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Ring& ring) {
    const LocalTime t = localTimeAt(ring.day * kSecondsPerDay);
    return out << t.month << "-" << t.day << " " << ring.time << " " << ring.sound;
}

// The rows of the day's table(s) read straight from the database file, not through the program.
std::vector<Ring> rowsOf(const fs::path& database, long long day, const std::string& sql) {
    std::vector<Ring> rows;
    sqlite3* db = nullptr;
    sqlite3_open_v2(pathToUtf8(database).c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            auto text = [&](int column) {
                const unsigned char* cell = sqlite3_column_text(stmt, column);
                return std::string(cell ? reinterpret_cast<const char*>(cell) : "");
            };
            rows.push_back({day, text(0), text(1)});
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

// The main window's part in a load: the day type and season it holds, over the real selection.
class ProgramFolderSource final : public PlanSource {
public:
    explicit ProgramFolderSource(fs::path folder) : m_folder(std::move(folder)) {}
    LoadResult loadDayPlan(DayPlan& plan, const LocalTime& now) override {
        loads.push_back(now);
        TextTable loaded;
        const LoadResult result = halvix::loadDayPlan(m_folder, dayType, kSpring, now, loaded, sink);
        if (result == LoadResult::Loaded)
            plan = DayPlan::fromTable(loaded);
        return result;
    }
    int dayType = kDailyDay;
    std::vector<LocalTime> loads;
    RecordingSink sink;

private:
    fs::path m_folder;
};

// What the two players were asked to play: "wall second path".
using SoundLog = std::vector<std::pair<long long, std::string>>;

class WeekSoakTest : public ::testing::Test, protected test::BellRig<ProgramFolderSource> {
protected:
    // Monday 15 March 2027 to Sunday 21 March; the spring term, school week Monday to Friday.
    const LocalTime kMonday = dateTime(2027, 3, 15);
    static constexpr int kDays = 7;
    // Wednesday is an exam day: 考试 chosen on Tuesday evening, 日常 again on Wednesday evening,
    // each after the day's last entry, as the school office does it.
    const LocalTime kExamChosen = dateTime(2027, 3, 16, 22, 0, 0);
    const LocalTime kDailyChosen = dateTime(2027, 3, 17, 22, 0, 0);
    static constexpr long long kTrackMs = 61'500;

    WeekSoakTest() {
        fs::copy(HALVIX_APP_DIR, folder.path(),
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        fs::remove(folder / "halvix");
        writeExamTimetable();
        for (const auto& entry : fs::recursive_directory_iterator(folder / "voic"))
            track.lengthOf[entry.path().filename().string()] = kTrackMs;
    }

    // Two subjects on Wednesday, one on the following Monday (never today: it must not ring).
    void writeExamTimetable() {
        const std::vector<ExamSubject> subjects = {
            {"语文", 3, 17, 8, 30, 10, 30},
            {"数学", 3, 22, 8, 30, 10, 30},
            {"英语", 3, 17, 14, 30, 16, 30},
        };
        RecordingSink sink;
        const ExamSettings settings = settingsFromTexts(readSettings(folder.path(), sink));
        ScheduleDatabase db(folder.path(), sink);
        db.open();
        ASSERT_TRUE(writeExamPlan(db, generateExamPlan(subjects, settings, true)));
        db.close();
        ASSERT_TRUE(sink.messages.empty());
    }

    // Today's rows by the week file 1125 (Monday first, Friday last): the day before the first
    // school day has the Sunday table, the first day cjtime, the last fridtime, any other day
    // (Saturday too) zccjtime; the exam day the day's generated rows with the spring exam day's own.
    std::vector<Ring> expectedRings() const {
        const std::string select = "select 时间, 声音 from ";
        const fs::path database = folder / "jbase.mdb";
        std::vector<Ring> rings;
        for (int d = 0; d < kDays; ++d) {
            const long long day = dayNumber(kMonday) + d;
            const LocalTime date = localTimeAt(day * kSecondsPerDay);
            std::string sql;
            if (date.day == 17)
                sql = select + "sjtime where 日期 = '3月17日' union all " + select + "kscjtime";
            else
                sql = select + std::map<int, std::string>{{1, "cjtime"},   {2, "zccjtime"}, {4, "zccjtime"},
                                                          {5, "fridtime"}, {6, "zccjtime"}, {7, "sundaytime"}}
                                   .at(date.weekday);
            const auto rows = rowsOf(database, day, sql);
            EXPECT_FALSE(rows.empty()) << sql;
            rings.insert(rings.end(), rows.begin(), rows.end());
        }
        std::sort(rings.begin(), rings.end());
        return rings;
    }

    // A firing is on time at its second (HH:MM:SS) or within its minute (HH:MM).
    static bool onTime(long long tick, const Ring& ring) {
        const auto time = readEntryTimeText(ring.time);
        if (!time)
            return false;
        const long long due = ring.day * kSecondsPerDay + time->secondOfDay();
        return time->minutePrecision ? tick >= due && tick < due + 60 : tick == due;
    }

    // Every firing as the bell announced it: the wall second of its tick, the row.
    std::vector<std::pair<long long, Ring>> firings() const {
        std::vector<std::pair<long long, Ring>> out;
        for (const auto& firing : log.firings)
            out.push_back({wallSecond(firing.at), {dayNumber(firing.at), firing.time, firing.sound}});
        return out;
    }

    // What the players must have been asked, from the firings: a file of "voic" at the firing, or
    // the folder's tracks in name order, each when the one before has run its length.
    SoundLog soundsOf(const std::vector<std::pair<long long, Ring>>& firings) const {
        SoundLog sounds;
        for (const auto& [tick, ring] : firings) {
            if (ring.sound.size() >= 4 && ring.sound[ring.sound.size() - 4] == '.') {
                sounds.emplace_back(tick, (folder / "voic" / ring.sound).string());
                continue;
            }
            std::string relative = ring.sound;
            std::replace(relative.begin(), relative.end(), '\\', '/');
            std::vector<std::string> tracks;
            for (const auto& entry : fs::directory_iterator(folder / relative)) {
                const std::string path = entry.path().string();
                const std::string ending = path.substr(path.size() - 3);
                if (ending == "mp3" || ending == "MP3" || ending == "wav" || ending == "wma")
                    tracks.push_back(path);
            }
            std::sort(tracks.begin(), tracks.end());
            long long start = tick;
            for (const auto& path : tracks) {
                sounds.emplace_back(start, path);
                start += kTrackMs / 1000 + 1;
            }
        }
        return sounds;
    }

    // Runs the engine one tick a second over [from, to); the two day-type choices come between ticks.
    void run(long long from, long long to) {
        for (long long s = from; s < to; ++s) {
            now = localTimeAt(s);
            if (s == wallSecond(kExamChosen))
                choose(kExamDay);
            if (s == wallSecond(kDailyChosen))
                choose(kDailyDay);
            const auto singles = single.played.size();
            const auto tracks = track.played.size();
            engine.onTick(now);
            for (auto i = singles; i < single.played.size(); ++i)
                heard.emplace_back(s, single.played[i]);
            for (auto i = tracks; i < track.played.size(); ++i)
                heard.emplace_back(s, track.played[i]);
        }
    }

    // A click on 考试 or 日常: stored, then the full reload.
    void choose(int dayType) {
        source.dayType = dayType;
        ASSERT_TRUE(writeDayType(folder.path(), dayType, source.sink));
        engine.reloadPlan(now);
    }

    SoundLog heard;
};

TEST_F(WeekSoakTest, EveryEntryOfTheWeekRingsOnceAtItsTimeWithItsSound) {
    const long long start = wallSecond(kMonday);
    const long long end = start + kDays * kSecondsPerDay;
    now = kMonday;
    engine.reloadPlan(now); // the program starts at midnight on Monday
    run(start, end);

    // Every due entry rang once and nothing else rang.
    std::vector<Ring> rang;
    for (const auto& [tick, ring] : firings()) {
        rang.push_back(ring);
        EXPECT_TRUE(onTime(tick, ring)) << ring << " rang at " << localTimeAt(tick).hour << ":"
                                        << localTimeAt(tick).minute << ":" << localTimeAt(tick).second;
    }
    std::sort(rang.begin(), rang.end());
    const auto expected = expectedRings();
    EXPECT_EQ(rang, expected);
    EXPECT_GT(expected.size(), 150u);

    // The players were asked for exactly those sounds, when they rang.
    auto wanted = soundsOf(firings());
    std::sort(wanted.begin(), wanted.end());
    std::sort(heard.begin(), heard.end());
    EXPECT_EQ(heard, wanted);
    for (const auto& [tick, path] : heard)
        EXPECT_TRUE(fs::is_regular_file(path)) << path;

    // The start, then each date's nightly reload at 01:01:00, and the two clicks.
    std::vector<long long> loads;
    for (const auto& load : source.loads)
        loads.push_back(wallSecond(load));
    std::vector<long long> expectedLoads = {start};
    for (int d = 0; d < kDays; ++d)
        expectedLoads.push_back(start + d * kSecondsPerDay + 3660);
    expectedLoads.push_back(wallSecond(kExamChosen));
    expectedLoads.push_back(wallSecond(kDailyChosen));
    std::sort(expectedLoads.begin(), expectedLoads.end());
    EXPECT_EQ(loads, expectedLoads);
    EXPECT_TRUE(source.sink.messages.empty());
}

} // namespace
} // namespace halvix
