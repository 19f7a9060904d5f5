// The small process-wide services: time zone, debugger output, executable path.
#include "platform/DebugOutput.h"
#include "platform/ExecutablePath.h"
#include "platform/TimeZone.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

TEST(TimeZoneTest, SystemZoneAgreesWithTheCLibrary)
{
    TIME_ZONE_INFORMATION zone;
    const DWORD result = GetTimeZoneInformation(&zone);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // UTC = local + bias, whichever of the two is in force now
    const long bias = zone.Bias + (result == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : zone.StandardBias);
    EXPECT_EQ(-bias * 60, local.tm_gmtoff);
    EXPECT_EQ(result == TIME_ZONE_ID_DAYLIGHT, local.tm_isdst > 0);
}

TEST(DebugOutputTest, ASinkReceivesEveryLineUntilReplaced)
{
    std::vector<std::string> lines;
    const DebugOutputSink previous = SetDebugOutputSink([&](const char* line) { lines.emplace_back(line); });
    OutputDebugStringA("SDT base size error.\n");
    OutputDebugStringA(nullptr);
    SetDebugOutputSink(previous);
    OutputDebugStringA("not for us\n");
    EXPECT_EQ(lines, std::vector<std::string>{"SDT base size error.\n"});
}

TEST(ExecutablePathTest, NamesThisProgramAndItsFolder)
{
    const CString path = GetExecutablePath();
    const CString folder = GetExecutableFolder();
    EXPECT_EQ(::access(path, X_OK), 0);
    EXPECT_EQ(folder.Right(1), "/");
    EXPECT_EQ(path.Left(folder.GetLength()), folder);
    EXPECT_EQ(path.Find('/', folder.GetLength()), -1);
}
