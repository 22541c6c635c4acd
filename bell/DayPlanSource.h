#pragma once

#include "bell/PlanSource.h"
#include "common/MessageSink.h"

#include <filesystem>
#include <vector>

namespace halvix {

// Today's plan from the database of the program folder, for the day type and season in use.
// A failed load is reported once: its messages wait until the caller takes them and shows them
// where they belong (a box for the user's own action, the tray for the night's reload). The loads
// that fail after it on the same date stay quiet until one gets through, unless a user asks.
class DayPlanSource final : public PlanSource {
public:
    explicit DayPlanSource(std::filesystem::path programFolder);

    void choose(int dayType, int season);
    int dayType() const { return m_dayType; }
    int season() const { return m_season; }

    LoadResult loadDayPlan(TextTable& plan, const LocalTime& now) override;
    // The next load is the user's own: its failure is reported even where the ones before failed.
    void reportNextFailure() { m_failing = false; }

    // The messages of a failure not yet reported; empty when there is none. Taking them clears them.
    std::vector<UserMessage> takeNotices();

private:
    std::filesystem::path m_folder;
    int m_dayType = 1;
    int m_season = 1;
    bool m_failing = false;
    long long m_failingDay = 0; // the date of the failure reported last
    std::vector<UserMessage> m_notices;
};

} // namespace halvix
