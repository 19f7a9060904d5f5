#include "platform/DebugOutput.h"

#include "tests/support/CDebugLineCatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(DebugOutputTest, ASinkReceivesEveryLineUntilReplacedAndThenThePreviousOneDoes)
{
    CDebugLineCatcher outer;
    {
        CDebugLineCatcher inner;
        OutputDebugStringA("SDT base size error.\n");
        OutputDebugStringA(nullptr);
        EXPECT_EQ(inner.Lines(), std::vector<std::string>{"SDT base size error.\n"});
    }
    OutputDebugStringA("after\n");
    EXPECT_EQ(outer.Lines(), std::vector<std::string>{"after\n"});
}
