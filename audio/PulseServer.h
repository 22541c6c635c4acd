#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct pa_context;
struct pa_mainloop_api;
struct pa_threaded_mainloop;
struct pa_time_event;
struct timeval;

namespace halvix {

// Whether sound can come out now: a sound server reached and an output on it. `problem` says why
// not, in Chinese; empty while sound can be heard, or (not ok) while it is not known yet.
struct SoundOutputHealth {
    bool ok = false;
    std::string problem;

    bool operator==(const SoundOutputHealth&) const = default;
};

// The program's one connection to the sound server, on the client library's threaded main loop:
// nothing here ever blocks the caller on the server. Connects at once and again every
// kRetryMs while the server is away or has no output, so the first sound after its return is
// heard. Outputs open their streams on it (see PulseOutput).
class PulseServer {
public:
    static constexpr int kRetryMs = 2000;
    // Told of every change of health, on the main loop's thread.
    using HealthListener = std::function<void(const SoundOutputHealth&)>;

    PulseServer();
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // The one of this process, made at the first call.
    static std::shared_ptr<PulseServer> shared();

    SoundOutputHealth health() const;
    // Returns an id for removeListener; the listener is told the current health at once.
    int addListener(HealthListener listener);
    void removeListener(int id);

    // The main loop's lock, held by whoever touches the context or a stream from another thread.
    class Lock {
    public:
        explicit Lock(const PulseServer& server);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* m_loop;
    };
    // The connected context, or null while there is none; under the lock.
    pa_context* readyContext() const { return m_ready ? m_context : nullptr; }
    // A connection is being made now: its outcome is near. Under the lock.
    bool connecting() const { return m_context && !m_ready; }
    // `settled` runs (under the lock, on the loop's thread) once the connection being made is made
    // or has failed; one waiter per `key`, forgotten with forgetWaiter. Under the lock.
    void whenSettled(const void* key, std::function<void()> settled);
    // Tries to connect now rather than at the next retry: a sound waits for it. Under the lock.
    void reconnectNow();
    void forgetWaiter(const void* key);
    pa_threaded_mainloop* loop() const { return m_loop; }
    // A stream could not start or broke: the output may be gone without the context saying so
    // yet. Under the lock.
    void streamFailed();
    // A stream got no answer in time: the server is frozen or overloaded. Told as the health until
    // the server answers again. Under the lock.
    void streamUnanswered();

private:
    void connect();
    void scheduleRetry();
    void setHealth(SoundOutputHealth health);
    void checkOutput();
    void settle();
    static void onContextState(pa_context* context, void* self);
    static void onRetry(pa_mainloop_api* api, pa_time_event* event, const timeval* when, void* self);

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_time_event* m_retry = nullptr;
    bool m_ready = false;
    bool m_ending = false;

    mutable std::mutex m_mutex; // guards what follows
    SoundOutputHealth m_health; // not known yet
    std::vector<std::pair<const void*, std::function<void()>>> m_settleWaiters;
    std::vector<std::pair<int, HealthListener>> m_listeners;
    int m_nextListener = 1;
};

} // namespace halvix
