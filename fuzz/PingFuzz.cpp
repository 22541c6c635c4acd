// Clock pings and their answers: any bytes read without a crash, what is accepted reads back the
// same, and a pong fed to the pinger never yields an offset that is not a number.
#include "campus/ClockPing.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace halvix::campus;
    const std::string_view payload(reinterpret_cast<const char*>(data), size);
    if (const PingRead read = readPing(payload); read.ok())
        if (read.ping.t0 < 0 || readPing(writePing(read.ping)).ping != read.ping)
            std::abort();
    if (const PongRead read = readPong(payload); read.ok()) {
        if (read.pong.t2 < read.pong.t1 || readPong(writePong(read.pong)).pong != read.pong)
            std::abort();
        ClockPinger pinger;
        pinger.ping("b1", read.pong.t0);
        pinger.answer(read.pong, read.pong.t2);
        if (const auto offset = pinger.offsetMs(); offset && !std::isfinite(*offset))
            std::abort();
    }
    return 0;
}
