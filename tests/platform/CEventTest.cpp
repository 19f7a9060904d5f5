#include "platform/CEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

// Bounded poll for what another thread brings about; generous, so a loaded machine passes.
template <typename Condition>
bool Eventually(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    return condition();
}

// Threads that each wait up to 10 s on one event, counting those it released; joined at the end.
struct CWaiters
{
    CWaiters(CEvent& event, int count)
    {
        for (int i = 0; i < count; ++i)
            threads.emplace_back([this, &event] { released += event.Wait(10000) == WAIT_OBJECT_0; });
        EXPECT_TRUE(Eventually([&] { return event.GetWaiterCount() == std::size_t(count); }));
    }
    ~CWaiters()
    {
        for (std::thread& thread : threads)
            thread.join();
    }
    std::atomic<int> released{0};
    std::vector<std::thread> threads;
};

}  // namespace

TEST(CEventTest, WithoutWaitersASetIsKeptAndAPulseLeavesNoTrace)
{
    for (bool manual : {false, true}) {
        SCOPED_TRACE(manual ? "manual" : "auto");
        CEvent event(manual, false);
        event.Pulse();
        EXPECT_EQ(event.Wait(0), WAIT_TIMEOUT);
        event.Set();
        EXPECT_EQ(event.Wait(0), WAIT_OBJECT_0);
        EXPECT_EQ(event.Wait(0), manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT);   // auto: taken by one wait
        event.Set();
        event.Pulse();   // a pulse also ends a set state
        EXPECT_EQ(event.Wait(0), WAIT_TIMEOUT);
        event.Set();
        event.Reset();
        EXPECT_EQ(event.Wait(0), WAIT_TIMEOUT);
    }
    EXPECT_EQ(CEvent(true, true).Wait(0), WAIT_OBJECT_0);
}

// Three waiters: a manual event lets all go, an auto event exactly one; only a Set of a
// manual event stays set.
TEST(CEventTest, ReleasesEveryWaiterOfAManualEventAndExactlyOneOfAnAutoEvent)
{
    for (bool manual : {true, false})
        for (bool pulse : {false, true}) {
            SCOPED_TRACE(std::string(manual ? "manual " : "auto ") + (pulse ? "pulse" : "set"));
            CEvent event(manual, false);
            CWaiters waiters(event, 3);
            pulse ? event.Pulse() : event.Set();
            EXPECT_TRUE(Eventually([&] { return waiters.released == (manual ? 3 : 1); }));
            EXPECT_EQ(event.GetWaiterCount(), manual ? 0u : 2u);
            EXPECT_EQ(event.IsSet(), manual && !pulse);
            while (event.GetWaiterCount() > 0)   // let the rest go
                event.Set();
        }
}

// The lowest index when several are set, else the first set while waiting; either way the
// waiter leaves every event.
TEST(CEventTest, WaitManyReturnsTheLowestSignalledIndexOrFails)
{
    CEvent first(true, false), second(false, true), third(true, true);
    CEvent* events[] = {&first, &second, &third};
    EXPECT_EQ(CEvent::WaitMany(events, 3, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(CEvent::WaitMany(events, 3, 0), WAIT_OBJECT_0 + 2);   // that wait took the auto signal
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

// Every Set is taken by exactly one waiter, whatever the interleaving.
TEST(CEventTest, AutoResetSignalIsNeverLostBetweenManyWaitersAndSetters)
{
    CEvent event(false, false);
    constexpr int kSignals = 2000;
    std::atomic<int> taken{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            while (!done)
                taken += event.Wait(1) == WAIT_OBJECT_0;
        });
    for (int i = 0; i < kSignals && Eventually([&] { return !event.IsSet(); }); ++i)
        event.Set();
    EXPECT_TRUE(Eventually([&] { return taken == kSignals; }));
    done = true;
    for (std::thread& thread : waiters)
        thread.join();
    EXPECT_EQ(taken, kSignals);
}
