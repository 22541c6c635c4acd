// Snapshot payloads as a node receives them: any bytes read without a crash, and a snapshot that is
// accepted names only shared tables, rows of their width and sounds inside voic/, and reads back
// the same after it is written again.
#include "campus/Sha256.h"
#include "campus/SharedTables.h"
#include "campus/Snapshot.h"
#include "common/TextChecks.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace halvix::campus;
    const std::string_view payload(reinterpret_cast<const char*>(data), size);
    const SnapshotRead read = readSnapshot(payload);
    if (!read.ok())
        return 0;
    for (const SnapshotTable& table : read.snapshot.tables) {
        const SharedTable* shared = findSharedTable(table.name);
        if (!shared || table.columns != shared->columns || table.cells.size() % shared->columns.size() != 0)
            std::abort();
    }
    for (const SnapshotSound& sound : read.snapshot.sounds)
        if (!halvix::soundNameProblem(sound.name).empty() || !isSha256Hex(sound.sha256))
            std::abort();
    if (readSnapshot(writeSnapshot(read.snapshot)).snapshot != read.snapshot)
        std::abort();
    return 0;
}
