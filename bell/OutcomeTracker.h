#pragma once

#include "bell/Playback.h"
#include "bell/RingOutcome.h"

#include <cstddef>
#include <deque>
#include <map>
#include <string>

namespace halvix {

// Decides what became of each sound the bell started, from the players' reports: heard (已响铃,
// 手动播放), heard muted (音量为零), not heard and why, stopped before it was heard, or, heard and then
// cut off, a second outcome that says so. A sound no report comes for within kStartWaitTicks bell
// ticks (seconds, whatever the clock does meanwhile) is told as not heard: every entry gets its
// outcome, whatever the sound server does.
class OutcomeTracker final : public SoundReports {
public:
    static constexpr int kStartWaitTicks = 15;
    // Heard sounds whose cut-off is still told.
    static constexpr std::size_t kHeardKept = 8;

    void setObserver(OutcomeObserver* observer) { m_observer = observer; }
    OutcomeObserver* observer() const { return m_observer; }

    // `outcome` is the entry or action `start` is for, told as `heard` once its sound is heard;
    // `dueMs` is when it should have been, in milliseconds of local wall-clock time: the delay
    // counts from there.
    void expect(const SoundStart& start, RingOutcome outcome, RingResult heard, long long dueMs);
    // An outcome decided without a sound (passed over, silenced, held by an emergency, an action).
    void tell(const RingOutcome& outcome);
    // Once a bell tick: sounds that waited too long for a report are told as not heard.
    void onTick();
    bool waiting() const { return !m_waiting.empty(); }

    // SoundReports
    void soundStarted(unsigned long long ticket, const std::string& silencedBy, long long atMs) override;
    void soundFailed(unsigned long long ticket, SoundFault fault, const std::string& reason,
                     long long atMs) override;
    void soundDropped(unsigned long long ticket, const std::string& why) override;

private:
    struct Waiting {
        RingOutcome outcome;
        RingResult heard;
        long long dueMs;
        int ticks = 0;
    };

    OutcomeObserver* m_observer = nullptr;
    std::map<unsigned long long, Waiting> m_waiting;
    std::deque<std::pair<unsigned long long, RingOutcome>> m_heard;
};

// The result of a sound that could not be heard for `fault`.
RingResult resultOf(SoundFault fault);

} // namespace halvix
