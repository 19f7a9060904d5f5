#include "platform/CEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// Bounded poll for a condition another thread brings about.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace

TEST(CEventTest, ManualResetStaysSetForEveryWaiterUntilReset)
{
    CEvent event(true, false);
    EXPECT_EQ(event.Wait(0), WAIT_TIMEOUT);
    event.Set();
    EXPECT_EQ(event.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(event.Wait(0), WAIT_OBJECT_0);
    event.Reset();
    EXPECT_EQ(event.Wait(0), WAIT_TIMEOUT);
    EXPECT_EQ(CEvent(true, true).Wait(0), WAIT_OBJECT_0);
}

TEST(CEventTest, AutoResetReleasesExactlyOneOfTwoWaiters)
{
    CEvent event(false, false);
    std::atomic<int> released{0};
    auto waiter = [&] {
        if (event.Wait(10000) == WAIT_OBJECT_0)
            ++released;
    };
    std::thread a(waiter), b(waiter);
    EXPECT_TRUE(Eventually([&] { return event.GetWaiterCount() == 2; }));

    event.Set();
    EXPECT_TRUE(Eventually([&] { return released == 1; }));
    EXPECT_EQ(event.GetWaiterCount(), 1u);   // the other still waits
    EXPECT_FALSE(event.IsSet());             // the signal was consumed

    event.Set();
    a.join();
    b.join();
    EXPECT_EQ(released, 2);
    EXPECT_FALSE(event.IsSet());
}

TEST(CEventTest, AutoResetSetWithoutWaiterIsKeptForTheNextOne)
{
    CEvent event(false, false);
    event.Set();
    EXPECT_EQ(event.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(event.Wait(0), WAIT_TIMEOUT);
}

TEST(CEventTest, PulseWithNoWaiterLeavesNoTrace)
{
    for (bool manual : {false, true}) {
        CEvent event(manual, false);
        event.Pulse();
        EXPECT_EQ(event.Wait(0), WAIT_TIMEOUT) << "manual=" << manual;
    }
    CEvent set(true, true);
    set.Pulse();   // a pulse also ends a set state
    EXPECT_EQ(set.Wait(0), WAIT_TIMEOUT);
}

TEST(CEventTest, PulseReleasesEveryWaiterOfAManualEventAndOneOfAnAutoEvent)
{
    for (bool manual : {true, false}) {
        CEvent event(manual, false);
        std::atomic<int> released{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < 3; ++i)
            waiters.emplace_back([&] {
                if (event.Wait(10000) == WAIT_OBJECT_0)
                    ++released;
            });
        EXPECT_TRUE(Eventually([&] { return event.GetWaiterCount() == 3; }));
        event.Pulse();
        const int expected = manual ? 3 : 1;
        EXPECT_TRUE(Eventually([&] { return released == expected; }));
        EXPECT_FALSE(event.IsSet());
        event.Set();   // let the rest go
        if (!manual) {
            event.Set();
        }
        for (auto& t : waiters)
            t.join();
    }
}

TEST(CEventTest, WaitManyReturnsTheLowestSignalledIndex)
{
    CEvent first(true, false), second(false, true), third(true, true);
    CEvent* events[] = {&first, &second, &third};
    EXPECT_EQ(CEvent::WaitMany(events, 3, 0), WAIT_OBJECT_0 + 1);
    // the auto-reset event was consumed by that wait: the next one finds the third
    EXPECT_EQ(CEvent::WaitMany(events, 3, 0), WAIT_OBJECT_0 + 2);
    first.Set();
    EXPECT_EQ(CEvent::WaitMany(events, 3, 0), WAIT_OBJECT_0);
}

TEST(CEventTest, WaitManyEndsOnTheEventSetWhileWaitingOrTimesOut)
{
    CEvent idle(true, false), wake(false, false);
    CEvent* events[] = {&idle, &wake};
    EXPECT_EQ(CEvent::WaitMany(events, 2, 5), WAIT_TIMEOUT);

    std::atomic<DWORD> result{WAIT_FAILED};
    std::thread waiter([&] { result = CEvent::WaitMany(events, 2, 10000); });
    EXPECT_TRUE(Eventually([&] { return wake.GetWaiterCount() == 1; }));
    wake.Set();
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0 + 1);
    EXPECT_FALSE(wake.IsSet());
    EXPECT_EQ(idle.GetWaiterCount(), 0u);   // the waiter left every event
}

TEST(CEventTest, WaitManyRefusesNoEvents)
{
    EXPECT_EQ(CEvent::WaitMany(nullptr, 0, 0), WAIT_FAILED);
}

TEST(CEventTest, AutoResetSignalIsNeverLostBetweenManyWaitersAndSetters)
{
    // Every Set is taken by exactly one waiter, whatever the interleaving.
    CEvent event(false, false);
    constexpr int kSignals = 2000;
    std::atomic<int> taken{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            while (!done)
                if (event.Wait(1) == WAIT_OBJECT_0)
                    ++taken;
        });
    for (int i = 0; i < kSignals; ++i) {
        if (!Eventually([&] { return !event.IsSet(); }))
            break;
        event.Set();
    }
    EXPECT_TRUE(Eventually([&] { return taken == kSignals; }));
    done = true;
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(taken, kSignals);
}
