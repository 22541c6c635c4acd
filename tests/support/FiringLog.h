#pragma once

#include "bell/BellEngine.h"
#include "bell/DayPlan.h"
#include "bell/PlanView.h"
#include "time/LocalTime.h"

#include <string>
#include <vector>

namespace halvix::test {

// The list of the day plan as the bell drives it: keeps every call, and each firing with the time
// of its tick and the fired row's time and sound as they were then (a reload replaces the plan).
class FiringLog final : public PlanView {
public:
    struct Firing {
        LocalTime at;
        int row;
        std::string time;
        std::string sound;
    };

    FiringLog(const DayPlan& plan, const LocalTime& clock) : m_plan(plan), m_clock(clock) {}

    void statusChanged(int row) override { statusRows.push_back(row); }
    void showArmedRow(int row) override { shownRows.push_back(row); }
    void advanceSelection(int row) override {
        const int fired = row - 1;
        firings.push_back({m_clock, fired, m_plan[fired].time, m_plan[fired].sound});
    }
    void planReplaced() override { ++replaced; }

    std::vector<int> statusRows;
    std::vector<int> shownRows;
    std::vector<Firing> firings;
    int replaced = 0;

private:
    const DayPlan& m_plan;
    const LocalTime& m_clock;
};

} // namespace halvix::test
