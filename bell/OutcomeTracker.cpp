#include "bell/OutcomeTracker.h"

#include <algorithm>
#include <utility>

namespace halvix {

RingResult resultOf(SoundFault fault) {
    switch (fault) {
    case SoundFault::Missing:
        return RingResult::Missing;
    case SoundFault::Unplayable:
        return RingResult::Unplayable;
    case SoundFault::CutOff:
        return RingResult::CutOff;
    case SoundFault::NoOutput:
        break;
    }
    return RingResult::NoOutput;
}

void OutcomeTracker::expect(const SoundStart& start, RingOutcome outcome, RingResult heard, long long dueMs) {
    if (start.fault) {
        outcome.result = resultOf(*start.fault);
        outcome.note = start.reason;
        return tell(outcome);
    }
    m_waiting[start.ticket] = {std::move(outcome), heard, dueMs};
}

void OutcomeTracker::tell(const RingOutcome& outcome) {
    if (m_observer)
        m_observer->outcome(outcome);
}

void OutcomeTracker::onTick() {
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (++it->second.ticks < kStartWaitTicks) {
            ++it;
            continue;
        }
        RingOutcome outcome = std::move(it->second.outcome);
        it = m_waiting.erase(it);
        outcome.result = RingResult::NoOutput;
        outcome.note = "声音服务器无应答: " + std::to_string(kStartWaitTicks) + " 秒内没有开始播放";
        tell(outcome);
    }
}

void OutcomeTracker::soundStarted(unsigned long long ticket, const std::string& silencedBy, long long atMs) {
    const auto waiting = m_waiting.find(ticket);
    if (waiting == m_waiting.end())
        return;
    RingOutcome outcome = std::move(waiting->second.outcome);
    outcome.result = silencedBy.empty() ? waiting->second.heard : RingResult::Inaudible;
    outcome.note = silencedBy;
    outcome.delayMs = std::max(0LL, atMs - waiting->second.dueMs);
    outcome.atMs = atMs;
    m_waiting.erase(waiting);
    m_heard.emplace_back(ticket, outcome);
    if (m_heard.size() > kHeardKept)
        m_heard.pop_front();
    tell(outcome);
}

void OutcomeTracker::soundFailed(unsigned long long ticket, SoundFault fault, const std::string& reason,
                                 long long atMs) {
    if (const auto waiting = m_waiting.find(ticket); waiting != m_waiting.end()) {
        RingOutcome outcome = std::move(waiting->second.outcome);
        m_waiting.erase(waiting);
        // Never heard, so not cut off: the server went away before it began.
        outcome.result = fault == SoundFault::CutOff ? RingResult::NoOutput : resultOf(fault);
        outcome.note = reason;
        outcome.atMs = atMs;
        return tell(outcome);
    }
    const auto heard = std::find_if(m_heard.begin(), m_heard.end(),
                                    [ticket](const auto& entry) { return entry.first == ticket; });
    if (heard == m_heard.end() || fault != SoundFault::CutOff)
        return;
    RingOutcome outcome = std::move(heard->second);
    m_heard.erase(heard);
    outcome.result = RingResult::CutOff;
    outcome.note = reason;
    outcome.delayMs = 0;
    outcome.atMs = atMs;
    tell(outcome);
}

void OutcomeTracker::soundDropped(unsigned long long ticket, const std::string& why) {
    const auto waiting = m_waiting.find(ticket);
    if (waiting == m_waiting.end())
        return;
    RingOutcome outcome = std::move(waiting->second.outcome);
    m_waiting.erase(waiting);
    outcome.result = RingResult::Stopped;
    outcome.note = why;
    tell(outcome);
}

} // namespace halvix
