#pragma once

#include "bell/RingResult.h"

#include <string>
#include <vector>

namespace halvix {

// What became of one entry of the day plan, or of one action of the tray or the command line.
struct RingOutcome {
    std::string planTime; // the entry's time text; empty for an action
    std::string event;
    std::string sound;
    RingResult result = RingResult::Rang;
    std::string note;      // why, in words, when it was not heard
    long long delayMs = 0; // from the entry's second to when the server began to play it
    // When it happened, in milliseconds of local wall-clock time (see wallSecond); 0: when told.
    long long atMs = 0;

    bool operator==(const RingOutcome&) const = default;
};

// Told by the bell what became of each entry and action, once each, as it is known: the one place
// where whoever follows the bell (the ring log, the list, the tray, the campus) learns of it. Calls
// come on the bell's thread from inside its operations: an implementation records and returns at
// once; it must not call back into the bell.
class OutcomeObserver {
public:
    virtual ~OutcomeObserver() = default;

    virtual void outcome(const RingOutcome& outcome) = 0;
    // The entries of `date` ("YYYY-MM-DD") that passed before this run of the bell could ring them:
    // each is one outcome, unless an earlier run on that date told it already (the ring log knows).
    virtual void passedBeforeStart(const std::string& date, const std::vector<RingOutcome>& entries) = 0;
};

} // namespace halvix
