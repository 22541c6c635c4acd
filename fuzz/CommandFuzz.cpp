// Commands, statuses and acknowledgements as they arrive from the broker, and the ids of commands
// done as campus-commands.txt keeps them: any bytes read without a crash, and what is accepted
// reads back the same after it is written again.
#include "campus/Command.h"
#include "campus/NodeReport.h"
#include "common/TextChecks.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace halvix::campus;
    const std::string_view payload(reinterpret_cast<const char*>(data), size);
    if (const CommandRead read = readCommand(payload); read.ok()) {
        if (read.command.kind == CommandKind::Play && !halvix::soundNameProblem(read.command.sound).empty())
            std::abort();
        if (readCommand(writeCommand(read.command)).command != read.command)
            std::abort();
    }
    if (const StatusRead read = readStatus(payload); read.ok())
        if (readStatus(writeStatus(read.status)).status != read.status)
            std::abort();
    if (const AckRead read = readAck(payload); read.ok())
        if (readAck(writeAck(read.ack)).ack != read.ack)
            std::abort();
    constexpr std::int64_t kNowMs = 1796774400000;
    CommandMemory memory(16);
    memory.load(payload, kNowMs);
    CommandMemory again(16);
    again.load(memory.save(), kNowMs);
    if (memory.size() > 16 || again.save() != memory.save())
        std::abort();
    return 0;
}
