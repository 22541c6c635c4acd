// Number texts: any bytes read as a number without overflow or a crash.
#include "store/NumberText.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    volatile int value = halvix::readNumber(text);
    (void)value;
    return 0;
}
