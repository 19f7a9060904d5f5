#include "platform/CEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

// Bounded poll for what another thread brings about; generous, so a loaded machine passes.
static const auto Eventually = [](auto condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    return condition();
};

// Without waiters a Set is kept and a Pulse leaves no trace. With three waiters a manual
// event lets all go, an auto event exactly one; only a Set of a manual event stays set.
TEST(CEventTest, SetKeepsAndPulseDropsTheSignalAndReleasesAllOrOneWaiter)
{
    for (bool manual : {false, true}) {
        CEvent idle(manual, false);
        idle.Pulse();
        EXPECT_EQ(idle.Wait(0), WAIT_TIMEOUT) << manual << ": a pulse with no waiter";
        idle.Set();
        EXPECT_EQ(idle.Wait(0), WAIT_OBJECT_0) << manual << ": set";
        EXPECT_EQ(idle.Wait(0), manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT) << manual << ": auto taken by one wait";
        idle.Set();
        idle.Pulse();
        EXPECT_EQ(idle.Wait(0), WAIT_TIMEOUT) << manual << ": a pulse also ends a set state";
        for (bool pulse : {false, true}) {
            CEvent event(manual, false);
            std::atomic<int> released{0};
            std::vector<std::thread> waiters;
            for (int i = 0; i < 3; ++i)
                waiters.emplace_back([&] { released += event.Wait(10000) == WAIT_OBJECT_0; });
            EXPECT_TRUE(Eventually([&] { return event.GetWaiterCount() == 3; }));
            pulse ? event.Pulse() : event.Set();
            EXPECT_TRUE(Eventually([&] { return released == (manual ? 3 : 1); })) << manual << pulse;
            EXPECT_EQ(event.GetWaiterCount(), manual ? 0u : 2u) << manual << pulse;
            EXPECT_EQ(event.IsSet(), manual && !pulse) << manual << pulse;
            while (event.GetWaiterCount() > 0)   // let the rest go
                event.Set();
            for (std::thread& thread : waiters)
                thread.join();
        }
    }
}

// The lowest set index, else the first set while waiting; the waiter then leaves every event.
TEST(CEventTest, WaitManyReturnsTheLowestSignalledIndexOrFails)
{
    CEvent first(true, false), second(false, true), third(true, true);
    CEvent* events[] = {&first, &second, &third};
    EXPECT_EQ(CEvent::WaitMany(events, 3, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(CEvent::WaitMany(events, 3, 0), WAIT_OBJECT_0 + 2) << "the first wait took the auto signal";
    first.Set();
    EXPECT_EQ(CEvent::WaitMany(events, 3, 0), WAIT_OBJECT_0);
    first.Reset();
    EXPECT_EQ(CEvent::WaitMany(events, 2, 5), WAIT_TIMEOUT);
    EXPECT_EQ(CEvent::WaitMany(nullptr, 0, 0), WAIT_FAILED);
    std::atomic<DWORD> result{WAIT_FAILED};
    std::thread waiter([&] { result = CEvent::WaitMany(events, 2, 10000); });
    EXPECT_TRUE(Eventually([&] { return second.GetWaiterCount() == 1; }));
    second.Set();
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0 + 1);
    EXPECT_FALSE(second.IsSet());
    EXPECT_EQ(first.GetWaiterCount(), 0u);
}

TEST(CEventTest, AutoResetSignalIsNeverLostBetweenManyWaitersAndSetters)
{
    CEvent event(false, false);
    std::atomic<int> taken{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            while (!done)
                taken += event.Wait(1) == WAIT_OBJECT_0;
        });
    for (int i = 0; i < 2000 && Eventually([&] { return !event.IsSet(); }); ++i)
        event.Set();
    EXPECT_TRUE(Eventually([&] { return taken == 2000; }));
    done = true;
    for (std::thread& thread : waiters)
        thread.join();
}
