// Exam preset files with any content: every time that comes out is a time of day.
#include "FuzzFolder.h"
#include "exam/PresetFile.h"
#include "common/MessageSink.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace halvix;
    fuzz::writeScratch(std::string(kPresetFolder) + "/cbhtime.txt", data, size);
    SilentSink sink;
    PresetTimes times{};
    loadPreset(fuzz::scratchFolder(), 1, times, sink);
    for (const PresetTime& t : times)
        if (t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59)
            std::abort();
    return 0;
}
