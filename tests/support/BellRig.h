#pragma once

#include "bell/BellEngine.h"
#include "bell/DayPlan.h"
#include "bell/Playback.h"
#include "support/FiringLog.h"
#include "support/RecordingPlayer.h"
#include "support/TempFolder.h"
#include "time/LocalTime.h"

#include <atomic>
#include <filesystem>
#include <type_traits>

namespace halvix::test {

// The bell with the tests' doubles around it: a program folder, the two recording players, the
// plan list's firing log and `Source` for the day plans (given the folder when it takes one).
// `now` is the time of the tick; the test sets it and ticks `engine`.
template <typename Source> struct BellRig {
    TempFolder folder;
    RecordingPlayer single;
    RecordingPlayer track;
    Playback playback{single, track, folder.path()};
    DayPlan plan;
    LocalTime now;
    FiringLog log{plan, now};
    Source source = [this] {
        if constexpr (std::is_constructible_v<Source, std::filesystem::path>)
            return Source(folder.path());
        else
            return Source();
    }();
    std::atomic<int> countdown{500};
    BellEngine engine{plan, log, source, playback, countdown};
};

} // namespace halvix::test
