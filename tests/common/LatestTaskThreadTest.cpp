#include "common/LatestTaskThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <vector>

namespace halvix {

using namespace std::chrono_literals;

namespace {

// Waits up to two seconds for `done`; the tasks below end within milliseconds once released.
template <typename Done> bool eventually(Done done) {
    for (int i = 0; i < 400 && !done(); ++i)
        std::this_thread::sleep_for(5ms);
    return done();
}

} // namespace

TEST(LatestTaskThread, PostNeverWaitsAndOnlyTheLatestWaitingTaskRuns) {
    std::mutex mutex;
    std::vector<std::string> ran; // each task's name, with "stopped" when it was asked to stop
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> firstStarted = false;
    const auto record = [&](std::string entry) {
        const std::lock_guard lock(mutex);
        ran.push_back(std::move(entry));
    };
    {
        LatestTaskThread thread;
        thread.post([&](std::stop_token stop) {
            firstStarted = true;
            released.wait(); // holds the thread until the test lets it go
            record(stop.stop_requested() ? "first stopped" : "first");
        });
        ASSERT_TRUE(eventually([&] { return firstStarted.load(); }));
        // Returns while the first task still holds the thread; the second is replaced unseen.
        thread.post([&](std::stop_token) { record("second"); });
        thread.post([&](std::stop_token stop) { record(stop.stop_requested() ? "third stopped" : "third"); });
        {
            const std::lock_guard lock(mutex);
            EXPECT_TRUE(ran.empty());
        }
        release.set_value();
        EXPECT_TRUE(eventually([&] {
            const std::lock_guard lock(mutex);
            return ran.size() == 2;
        }));
    }
    EXPECT_EQ(ran, (std::vector<std::string>{"first stopped", "third"}));
}

TEST(LatestTaskThread, EndingStopsTheRunningTaskAndWaitsForIt) {
    std::atomic<bool> started = false;
    std::atomic<bool> finished = false;
    {
        LatestTaskThread thread;
        thread.post([&](std::stop_token stop) {
            started = true;
            while (!stop.stop_requested())
                std::this_thread::sleep_for(1ms);
            std::this_thread::sleep_for(20ms);
            finished = true;
        });
        ASSERT_TRUE(eventually([&] { return started.load(); }));
    }
    EXPECT_TRUE(finished);
}

} // namespace halvix
