#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace halvix {

// A thread of its own for work whose latest request is the only one that matters (a check of the
// plan just loaded). post never waits: a task not yet started is replaced, a running one is asked
// to stop (its token) and its result is the caller's to drop. The destructor asks the running task
// to stop and waits for it.
class LatestTaskThread {
public:
    using Task = std::function<void(std::stop_token)>;

    LatestTaskThread();
    ~LatestTaskThread();
    LatestTaskThread(const LatestTaskThread&) = delete;
    LatestTaskThread& operator=(const LatestTaskThread&) = delete;

    void post(Task task);

private:
    void run(std::stop_token stop);

    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::optional<Task> m_next;
    std::stop_source* m_running = nullptr; // the running task's, while it runs
    std::jthread m_thread;                 // last: started once everything above exists
};

} // namespace halvix
