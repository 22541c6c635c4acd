#include "common/LatestTaskThread.h"

#include <utility>

namespace halvix {

LatestTaskThread::LatestTaskThread() : m_thread([this](std::stop_token stop) { run(stop); }) {}

LatestTaskThread::~LatestTaskThread() {
    {
        const std::lock_guard lock(m_mutex);
        m_next.reset();
        if (m_running)
            m_running->request_stop();
    }
    m_thread.request_stop();
    m_thread.join();
}

void LatestTaskThread::post(Task task) {
    {
        const std::lock_guard lock(m_mutex);
        m_next = std::move(task);
        if (m_running)
            m_running->request_stop();
    }
    m_wake.notify_one();
}

void LatestTaskThread::run(std::stop_token stop) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!m_wake.wait(lock, stop, [this] { return m_next.has_value(); }))
            return; // stopped
        Task task = std::move(*m_next);
        m_next.reset();
        std::stop_source source;
        m_running = &source;
        lock.unlock();
        task(source.get_token());
        lock.lock();
        m_running = nullptr;
    }
}

} // namespace halvix
