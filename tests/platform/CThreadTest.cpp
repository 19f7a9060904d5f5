#include "platform/CThread.h"

#include "platform/DebugOutput.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

DWORD ReturnSeven(void*) { return 7; }
DWORD WaitForRelease(void* event) { return static_cast<CEvent*>(event)->Wait(10000); }

}  // namespace

TEST(CThreadTest, RunsOneFunctionAndKeepsItsExitCodeThroughALateTerminate)
{
    CThread thread;
    ASSERT_TRUE(thread.Start(&ReturnSeven, nullptr));
    EXPECT_FALSE(thread.Start(&ReturnSeven, nullptr));
    ASSERT_TRUE(thread.WaitForEnd(10000));
    thread.Terminate(1);
    EXPECT_FALSE(thread.WasTerminated());
    EXPECT_EQ(thread.GetExitCode(), 7u);
}

TEST(CThreadTest, TerminationLeavesTheThreadRunningAndSaysSo)
{
    std::vector<std::string> lines;
    const DebugOutputSink previous = SetDebugOutputSink([&](const char* line) { lines.emplace_back(line); });
    CEvent release(true, false);
    {
        CThread thread;
        ASSERT_TRUE(thread.Start(&WaitForRelease, &release));
        EXPECT_FALSE(thread.WaitForEnd(10));
        thread.Terminate(1);
        EXPECT_TRUE(thread.WasTerminated());
        EXPECT_EQ(thread.GetExitCode(), 1u);
        release.Set();   // the thread finishes on its own; the destructor joins it
    }
    SetDebugOutputSink(previous);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("left to finish on its own"), std::string::npos);
}
