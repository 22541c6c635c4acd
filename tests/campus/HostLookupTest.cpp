#include "campus/HostLookup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace halvix::campus {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A numeric address needs no resolver; a name takes the resolver's answer, however long it takes,
// unless the wait is cancelled: then it ends within a tenth of a second or so, the resolver left
// to finish on its own.
TEST(HostLookup, AnswersOrEndsSoonOnceCancelled) {
    struct Case {
        const char* host;
        std::chrono::milliseconds resolverTakes;
        bool resolves;
        std::chrono::milliseconds cancelAfter;
        HostLookup expected;
        int resolverCalls;
    };
    const Case cases[] = {
        {"127.0.0.1", 5000ms, false, 0ms, HostLookup::Found, 0},
        {"::1", 5000ms, false, 0ms, HostLookup::Found, 0},
        {"broker.school.lan", 0ms, true, 10000ms, HostLookup::Found, 1},
        {"broker.school.lan", 300ms, false, 10000ms, HostLookup::Unknown, 1},
        {"broker.school.lan", 10000ms, true, 200ms, HostLookup::Cancelled, 1},
    };
    for (const Case& c : cases) {
        // Shared with the resolver's thread, which a cancelled wait leaves running.
        struct Asked {
            std::atomic<int> calls = 0;
            std::atomic<bool> rightHost = true;
        };
        auto asked = std::make_shared<Asked>();
        const auto resolver = [c, asked](const std::string& host) {
            ++asked->calls;
            asked->rightHost = asked->rightHost && host == c.host;
            std::this_thread::sleep_for(c.resolverTakes);
            return c.resolves;
        };
        const auto start = Clock::now();
        const HostLookup result = lookUpHost(
            c.host, [&start, &c] { return Clock::now() - start >= c.cancelAfter; }, resolver);
        const auto took = Clock::now() - start;
        EXPECT_EQ(result, c.expected) << c.host;
        if (c.expected == HostLookup::Cancelled)
            EXPECT_LT(took, c.cancelAfter + 300ms) << c.host;
        else
            EXPECT_LT(took, c.resolverTakes + 300ms) << c.host;
        EXPECT_EQ(asked->calls, c.resolverCalls) << c.host;
        EXPECT_TRUE(asked->rightHost) << c.host;
    }
    // The system's resolver finds this machine by name without asking the network.
    EXPECT_EQ(lookUpHost("localhost", [] { return false; }), HostLookup::Found);
}

} // namespace
} // namespace halvix::campus
