// A thread still running when terminated: with the receive thread in CDVBTransportStreamReceiverTest.
#include "platform/CThread.h"

#include <gtest/gtest.h>

TEST(CThreadTest, RunsOneFunctionAndKeepsItsExitCodeThroughALateTerminate)
{
    CThread thread;
    ASSERT_TRUE(thread.Start([](void*) -> DWORD { return 7; }, nullptr));
    EXPECT_FALSE(thread.Start([](void*) -> DWORD { return 7; }, nullptr)) << "already started";
    ASSERT_TRUE(thread.WaitForEnd(10000));
    thread.Terminate(1);
    EXPECT_FALSE(thread.WasTerminated());
    EXPECT_EQ(thread.GetExitCode(), 7u);
}
