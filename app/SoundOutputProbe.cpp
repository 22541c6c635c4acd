#include "app/SoundOutputProbe.h"

#include "audio/PulseServer.h"

#include <condition_variable>
#include <cstdio>
#include <mutex>

namespace halvix {

std::string soundOutputProblem(std::chrono::milliseconds wait) {
    std::mutex mutex;
    std::condition_variable told;
    SoundOutputHealth health;
    // A connection of its own, ended on return: nothing of it outlives the question.
    PulseServer server;
    const int listener = server.addListener([&](const SoundOutputHealth& now) {
        const std::lock_guard lock(mutex);
        health = now;
        told.notify_all();
    });
    const auto known = [&health] { return health.ok || !health.problem.empty(); };
    bool answered = false;
    {
        std::unique_lock lock(mutex);
        answered = told.wait_for(lock, wait, known);
    }
    server.removeListener(listener);
    if (!answered) {
        char seconds[16];
        std::snprintf(seconds, sizeof seconds, "%.1f", static_cast<double>(wait.count()) / 1000.0);
        return std::string("声音服务器无应答 (") + seconds + " 秒内没有回答)";
    }
    return health.problem;
}

} // namespace halvix
