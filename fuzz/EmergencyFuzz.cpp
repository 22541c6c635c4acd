// The emergency state as it arrives from the broker or from its file: any bytes read without a
// crash, and what is accepted names a playable file of voic/ and reads back the same.
#include "emergency/EmergencyState.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace halvix;
    const std::string_view payload(reinterpret_cast<const char*>(data), size);
    const EmergencyRead read = readEmergency(payload);
    if (!read.ok())
        return 0;
    if (read.state.active && !emergencySoundProblem(read.state.sound).empty())
        std::abort();
    if (readEmergency(writeEmergency(read.state)).state != read.state)
        std::abort();
    return 0;
}
