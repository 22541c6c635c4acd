// campus.ini as a school's staff may write it: any bytes read without a crash, and a file that is
// accepted names a valid node id and a broker the program may reach.
#include "FuzzFolder.h"

#include "campus/CampusConfig.h"
#include "common/IdText.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace halvix::campus;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const CampusConfigRead read = parseCampusConfig(text, halvix::fuzz::scratchFolder());
    if (read.state != CampusConfigRead::State::Valid)
        return 0;
    if (!read.errors.empty() || !halvix::isValidId(read.config.nodeId) || read.config.broker.host.empty())
        std::abort();
    if (!read.config.broker.tls && !isLoopbackHost(read.config.broker.host))
        std::abort();
    return 0;
}
