// The bell under the clock faults a school PC meets: the clock set forward or back by hand, a
// wrong date put right, the daylight-saving changes as the local clock shows them, the process
// stopped for two minutes. Whatever the clock does, no entry of a date rings twice, the bell never
// stalls, and an entry a minute or more overdue is passed over without sound.

#include "bell/BellEngine.h"
#include "bell/PlanSource.h"
#include "store/TextTable.h"
#include "support/BellRig.h"
#include "support/PlanTitles.h"
#include "time/ClockText.h"
#include "time/LocalTime.h"
#include "time/SystemClock.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace halvix {
namespace {

using Texts = std::vector<std::string>;

// The local time zone of the process for as long as it lives, as a machine set to it has.
class LocalZone {
public:
    explicit LocalZone(const char* zone) {
        if (const char* old = std::getenv("TZ"))
            m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~LocalZone() {
        if (m_old)
            setenv("TZ", m_old->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;

    // "YYYY-MM-DD HH:MM:SS" of the zone (a time that exists once) to the system clock's seconds.
    static std::time_t instant(const char* text) {
        std::tm parts{};
        std::sscanf(text, "%d-%d-%d %d:%d:%d", &parts.tm_year, &parts.tm_mon, &parts.tm_mday, &parts.tm_hour,
                    &parts.tm_min, &parts.tm_sec);
        parts.tm_year -= 1900;
        parts.tm_mon -= 1;
        parts.tm_isdst = -1;
        return std::mktime(&parts);
    }

    // What a clock of this zone shows at `instant`.
    static LocalTime show(std::time_t instant) { return SystemClock::localTimeOf(instant); }

private:
    std::optional<std::string> m_old;
};

std::string stamp(const LocalTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d-%02d %02d:%02d:%02d", t.month % 100, t.day % 100, t.hour % 100,
                  t.minute % 100, t.second % 100);
    return text;
}

// Each weekday has the same times; the sounds carry the weekday, so a ring of another date's plan
// shows. The entries sit around the faults of the scenarios below.
const char* const kTimes[] = {"00:40",    "01:30:00", "02:30", "02:59:40", "03:00:20", "03:30", "08:00",
                              "09:15:00", "09:30",    "10:00", "10:05:00", "10:06",    "10:30", "11:00:00"};
const char* const kWeekdays[] = {"", "一", "二", "三", "四", "五", "六", "日"};

std::string soundOf(int weekday, const std::string& time) {
    return std::string(kWeekdays[weekday]) + time + ".mp3";
}

// The plan of the day of the load, as the database would give it.
class WeekdaySource final : public PlanSource {
public:
    LoadResult loadDayPlan(DayPlan& plan, const LocalTime& now) override {
        loads.push_back(stamp(now));
        plan = DayPlan();
        plan.setTitles(test::kPlanTitles);
        for (const char* time : kTimes)
            plan.append({"", "", time, "", soundOf(now.weekday, time), EntryState::Pending, ""});
        return LoadResult::Loaded;
    }
    Texts loads; // when each load ran
};

// One stretch of ticks, one a second from `from` to `to` (both included), in the zone's local
// time. Between two legs the clock was stepped, or the process was stopped.
struct Leg {
    const char* from;
    const char* to;
};

struct Scenario {
    const char* name;
    const char* zone;
    std::vector<Leg> legs;
    Texts fired;
    Texts loads;
};

// A freshly started program with its own program folder, driven by a clock of the scenario's zone.
class SimulatedBell : public test::BellRig<WeekdaySource> {
public:
    SimulatedBell() {
        for (int weekday = 1; weekday <= 7; ++weekday)
            for (const char* time : kTimes)
                folder.write("voic/" + soundOf(weekday, time), "");
    }

    // Starts the program at the first leg's start and runs every leg.
    void run(const char* zoneName, const std::vector<Leg>& legs) {
        const LocalZone zone(zoneName);
        bool started = false;
        for (const Leg& leg : legs) {
            for (std::time_t t = LocalZone::instant(leg.from); t <= LocalZone::instant(leg.to); ++t) {
                now = LocalZone::show(t);
                if (!started) {
                    engine.reloadPlan(now);
                    started = true;
                }
                engine.onTick(now);
            }
        }
    }

    // "MM-DD HH:MM:SS sound" of every firing, at the tick it came on.
    Texts fired() const {
        Texts out;
        for (const auto& firing : log.firings)
            out.push_back(stamp(firing.at) + " " + firing.sound);
        return out;
    }
};

// 15 March 2027 is a Monday. The zone without daylight saving stands for any fixed clock. Plain
// steps of the clock within a day are in BellEngineTest.
const Scenario kScenarios[] = {
    {"clock stepped back an hour across 01:01: no second nightly reload",
     "Asia/Shanghai",
     {{"2027-03-15 00:20:00", "2027-03-15 01:40:00"}, {"2027-03-15 00:40:01", "2027-03-15 03:40:00"}},
     {"03-15 00:40:00 一00:40.mp3", "03-15 01:30:00 一01:30:00.mp3", "03-15 02:30:00 一02:30.mp3",
      "03-15 02:59:40 一02:59:40.mp3", "03-15 03:00:20 一03:00:20.mp3", "03-15 03:30:00 一03:30.mp3"},
     {"03-15 00:20:00", "03-15 01:01:00"}},
    {"process stopped for two minutes: the entry a minute overdue is skipped, the next rings late",
     "Asia/Shanghai",
     {{"2027-03-15 10:02:00", "2027-03-15 10:04:30"}, {"2027-03-15 10:06:31", "2027-03-15 10:40:00"}},
     {"03-15 10:06:31 一10:06.mp3", "03-15 10:30:00 一10:30.mp3"},
     {"03-15 10:02:00"}},
    {"date set a day ahead and put right: each date rings its own plan, the next day is not lost",
     "Asia/Shanghai",
     {{"2027-03-15 09:50:00", "2027-03-15 10:10:00"},
      {"2027-03-16 10:10:01", "2027-03-16 10:40:00"},
      {"2027-03-15 10:40:01", "2027-03-16 11:30:00"}},
     {"03-15 10:00:00 一10:00.mp3", "03-15 10:05:00 一10:05:00.mp3", "03-15 10:06:00 一10:06.mp3",
      "03-16 10:30:00 二10:30.mp3", "03-15 11:00:00 一11:00:00.mp3", "03-16 01:30:00 二01:30:00.mp3",
      "03-16 02:30:00 二02:30.mp3", "03-16 02:59:40 二02:59:40.mp3", "03-16 03:00:20 二03:00:20.mp3",
      "03-16 03:30:00 二03:30.mp3", "03-16 08:00:00 二08:00.mp3", "03-16 09:15:00 二09:15:00.mp3",
      "03-16 09:30:00 二09:30.mp3", "03-16 10:00:00 二10:00.mp3", "03-16 10:05:00 二10:05:00.mp3",
      "03-16 10:06:00 二10:06.mp3", "03-16 11:00:00 二11:00:00.mp3"},
     {"03-15 09:50:00", "03-16 10:10:01", "03-15 10:40:01", "03-16 01:01:00"}},
    {"date set a day back: the day that already rang stays silent, the next rings what it has not",
     "Asia/Shanghai",
     {{"2027-03-15 09:50:00", "2027-03-16 10:10:00"}, {"2027-03-15 10:10:01", "2027-03-16 11:30:00"}},
     {"03-15 10:00:00 一10:00.mp3", "03-15 10:05:00 一10:05:00.mp3", "03-15 10:06:00 一10:06.mp3",
      "03-15 10:30:00 一10:30.mp3", "03-15 11:00:00 一11:00:00.mp3", "03-16 01:30:00 二01:30:00.mp3",
      "03-16 02:30:00 二02:30.mp3", "03-16 02:59:40 二02:59:40.mp3", "03-16 03:00:20 二03:00:20.mp3",
      "03-16 03:30:00 二03:30.mp3", "03-16 08:00:00 二08:00.mp3", "03-16 09:15:00 二09:15:00.mp3",
      "03-16 09:30:00 二09:30.mp3", "03-16 10:00:00 二10:00.mp3", "03-16 10:05:00 二10:05:00.mp3",
      "03-16 10:06:00 二10:06.mp3", "03-16 10:30:00 二10:30.mp3", "03-16 11:00:00 二11:00:00.mp3"},
     {"03-15 09:50:00", "03-16 01:01:00", "03-15 10:10:01", "03-16 01:01:00"}},
    // Berlin's clocks go from 01:59:59 to 03:00:00: the hour that does not exist is passed over,
    // an entry less than a minute before 03:00 still rings.
    {"daylight saving begins",
     "Europe/Berlin",
     {{"2027-03-28 00:50:00", "2027-03-28 03:40:00"}},
     {"03-28 01:30:00 日01:30:00.mp3", "03-28 03:00:00 日02:59:40.mp3", "03-28 03:00:20 日03:00:20.mp3",
      "03-28 03:30:00 日03:30.mp3"},
     {"03-28 00:50:00", "03-28 01:01:00"}},
    // And from 02:59:59 back to 02:00:00: the hour shows twice, its entries ring once.
    {"daylight saving ends",
     "Europe/Berlin",
     {{"2027-10-31 01:50:00", "2027-10-31 03:40:00"}},
     {"10-31 02:30:00 日02:30.mp3", "10-31 02:59:40 日02:59:40.mp3", "10-31 03:00:20 日03:00:20.mp3",
      "10-31 03:30:00 日03:30.mp3"},
     {"10-31 01:50:00"}},
};

TEST(ClockFaultTest, NoEntryRingsTwiceNoneStallsOverdueOnesStaySilent) {
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        SimulatedBell bell;
        bell.run(s.zone, s.legs);
        EXPECT_EQ(bell.fired(), s.fired);
        EXPECT_EQ(bell.source.loads, s.loads);
        EXPECT_EQ(bell.single.played.size(), bell.log.firings.size()); // each firing sounded its file
    }
}

} // namespace
} // namespace halvix
