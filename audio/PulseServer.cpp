#include "audio/PulseServer.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

#include <cstdlib>
#include <utility>

namespace halvix {

namespace {

// The output the program plays on: PULSE_SINK when set, as the client library does for a stream
// without one, else the server's default.
const char* outputName() {
    const char* named = std::getenv("PULSE_SINK");
    return named && *named ? named : "@DEFAULT_SINK@";
}

std::string unreachableText(pa_context* context) {
    const int error = context ? pa_context_errno(context) : PA_ERR_CONNECTIONREFUSED;
    switch (error) {
    case PA_ERR_CONNECTIONREFUSED:
    case PA_ERR_NOENTITY:
    case PA_ERR_INVALIDSERVER:
        return "无法连接声音服务器";
    case PA_ERR_ACCESS:
    case PA_ERR_AUTHKEY:
        return "声音服务器拒绝了本程序的连接 (权限不足)";
    case PA_ERR_CONNECTIONTERMINATED:
        return "与声音服务器的连接已断开";
    case PA_ERR_TIMEOUT:
        return "声音服务器无应答";
    default:
        return std::string("无法连接声音服务器: ") + pa_strerror(error);
    }
}

} // namespace

PulseServer::PulseServer() {
    m_loop = pa_threaded_mainloop_new();
    pa_threaded_mainloop_set_name(m_loop, "halvix-sound");
    const Lock lock(*this);
    pa_threaded_mainloop_start(m_loop);
    connect();
}

PulseServer::~PulseServer() {
    {
        const Lock lock(*this);
        m_ending = true;
        if (m_retry)
            pa_threaded_mainloop_get_api(m_loop)->time_free(m_retry);
        if (m_context) {
            pa_context_set_state_callback(m_context, nullptr, nullptr);
            pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
        }
    }
    // The loop never waits for the server, so it ends at once whatever the server does.
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
}

std::shared_ptr<PulseServer> PulseServer::shared() {
    static std::mutex made;
    static std::weak_ptr<PulseServer> current;
    const std::lock_guard lock(made);
    std::shared_ptr<PulseServer> server = current.lock();
    if (!server) {
        server = std::make_shared<PulseServer>();
        current = server;
    }
    return server;
}

PulseServer::Lock::Lock(const PulseServer& server) : m_loop(server.m_loop) {
    pa_threaded_mainloop_lock(m_loop);
}

PulseServer::Lock::~Lock() {
    pa_threaded_mainloop_unlock(m_loop);
}

SoundOutputHealth PulseServer::health() const {
    const std::lock_guard lock(m_mutex);
    return m_health;
}

int PulseServer::addListener(HealthListener listener) {
    const std::lock_guard lock(m_mutex);
    listener(m_health);
    m_listeners.emplace_back(m_nextListener, std::move(listener));
    return m_nextListener++;
}

void PulseServer::removeListener(int id) {
    const std::lock_guard lock(m_mutex);
    std::erase_if(m_listeners, [id](const auto& entry) { return entry.first == id; });
}

void PulseServer::setHealth(SoundOutputHealth health) {
    const std::lock_guard lock(m_mutex);
    if (health == m_health)
        return;
    m_health = std::move(health);
    for (const auto& [id, listener] : m_listeners)
        listener(m_health);
}

void PulseServer::connect() {
    m_ready = false;
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "halvix");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "halvix");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ICON_NAME, "halvix");
    m_context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(m_loop), "halvix", properties);
    pa_proplist_free(properties);
    pa_context_set_state_callback(m_context, &PulseServer::onContextState, this);
    // No server of our own is started: a school PC's sound server is the session's.
    // A connect refused at once may have been told to the state callback already, which let the
    // context go.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 && m_context) {
        setHealth({false, unreachableText(m_context)});
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_unref(m_context);
        m_context = nullptr;
        scheduleRetry();
        settle();
    }
}

void PulseServer::scheduleRetry() {
    if (m_ending || m_retry)
        return;
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when), pa_usec_t(kRetryMs) * PA_USEC_PER_MSEC);
    m_retry = pa_threaded_mainloop_get_api(m_loop)->time_new(pa_threaded_mainloop_get_api(m_loop), &when,
                                                             &PulseServer::onRetry, this);
}

void PulseServer::onRetry(pa_mainloop_api* api, pa_time_event* event, const timeval*, void* self) {
    auto* server = static_cast<PulseServer*>(self);
    api->time_free(event);
    server->m_retry = nullptr;
    if (!server->m_ending && !server->m_context)
        server->connect();
    else if (!server->m_ending && server->m_ready)
        server->checkOutput(); // connected, but no output then: look again
}

void PulseServer::onContextState(pa_context* context, void* self) {
    auto* server = static_cast<PulseServer*>(self);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        server->m_ready = true;
        pa_context_set_subscribe_callback(
            context,
            [](pa_context*, pa_subscription_event_type_t, uint32_t, void* me) {
                static_cast<PulseServer*>(me)->checkOutput();
            },
            server);
        if (pa_operation* subscribing = pa_context_subscribe(
                context, pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER),
                nullptr, nullptr))
            pa_operation_unref(subscribing);
        server->checkOutput();
        server->settle();
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        server->m_ready = false;
        server->setHealth({false, unreachableText(context)});
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_set_subscribe_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
        server->m_context = nullptr;
        server->scheduleRetry();
        server->settle();
        break;
    default:
        break;
    }
}

void PulseServer::checkOutput() {
    if (!m_ready)
        return;
    pa_operation* asking = pa_context_get_sink_info_by_name(
        m_context, outputName(),
        [](pa_context*, const pa_sink_info* info, int eol, void* self) {
            auto* server = static_cast<PulseServer*>(self);
            if (info) {
                server->setHealth({true, {}});
            } else if (eol < 0) {
                server->setHealth({false, std::string("声音服务器上没有输出设备 (") + outputName() + ")"});
                server->scheduleRetry();
            }
        },
        this);
    if (asking)
        pa_operation_unref(asking);
}

void PulseServer::whenSettled(const void* key, std::function<void()> settled) {
    forgetWaiter(key);
    m_settleWaiters.emplace_back(key, std::move(settled));
}

void PulseServer::reconnectNow() {
    if (m_ending || m_context)
        return;
    if (m_retry) {
        pa_threaded_mainloop_get_api(m_loop)->time_free(m_retry);
        m_retry = nullptr;
    }
    connect();
}

void PulseServer::forgetWaiter(const void* key) {
    std::erase_if(m_settleWaiters, [key](const auto& waiter) { return waiter.first == key; });
}

void PulseServer::settle() {
    for (auto& [key, settled] : std::exchange(m_settleWaiters, {}))
        settled();
}

void PulseServer::streamUnanswered() {
    setHealth({false, "声音服务器无应答"});
    // Asked again: an answer, whenever it comes, makes the health good again.
    checkOutput();
    scheduleRetry();
}

void PulseServer::streamFailed() {
    // A server that went away is told by the context's state; a refused stream with the server still
    // there by the check of its output.
    checkOutput();
}

} // namespace halvix
