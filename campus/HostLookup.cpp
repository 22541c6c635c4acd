#include "campus/HostLookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace halvix::campus {

namespace {

bool numericAddress(const std::string& host) {
    in_addr v4{};
    in6_addr v6{};
    return inet_pton(AF_INET, host.c_str(), &v4) == 1 || inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

bool systemResolves(const std::string& host) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (found)
        freeaddrinfo(found);
    return status == 0;
}

// Shared by the waiter and the thread that resolves, which may outlive the wait.
struct Answer {
    std::mutex mutex;
    std::condition_variable ready;
    bool done = false;
    bool found = false;
};

} // namespace

HostLookup lookUpHost(const std::string& host, const std::function<bool()>& cancelled, Resolver resolve) {
    if (numericAddress(host))
        return HostLookup::Found;
    if (!resolve)
        resolve = systemResolves;
    auto answer = std::make_shared<Answer>();
    // Detached: a resolver that hangs is left to finish (or to end with the process) on its own.
    std::thread([answer, host, resolve = std::move(resolve)] {
        const bool found = resolve(host);
        {
            std::lock_guard lock(answer->mutex);
            answer->done = true;
            answer->found = found;
        }
        answer->ready.notify_all();
    }).detach();
    std::unique_lock lock(answer->mutex);
    while (!answer->ready.wait_for(lock, std::chrono::milliseconds(100), [&answer] { return answer->done; }))
        if (cancelled())
            return HostLookup::Cancelled;
    return answer->found ? HostLookup::Found : HostLookup::Unknown;
}

} // namespace halvix::campus
