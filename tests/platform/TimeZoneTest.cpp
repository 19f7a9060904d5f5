#include "platform/TimeZone.h"

#include <gtest/gtest.h>

#include <ctime>

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
