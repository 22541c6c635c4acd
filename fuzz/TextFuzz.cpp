// Number and clock texts: any bytes read without overflow or a crash, and an entry time that is
// accepted is always a real time of day written in one of the two forms.
#include "time/ClockText.h"
#include "common/NumberText.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace halvix;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    volatile int value = readNumber(text);
    (void)value;
    (void)trimBlanks(text);
    if (const auto time = readEntryTimeText(text)) {
        const bool lengthFits = (time->minutePrecision && size == 5) || (!time->minutePrecision && size == 8);
        if (!lengthFits || time->hour < 0 || time->hour > 23 || time->minute < 0 || time->minute > 59 ||
            time->second < 0 || time->second > 59)
            std::abort();
    }
    return 0;
}
