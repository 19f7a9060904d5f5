#pragma once
// The local time zone, read from the system's zone database.
#include "platform/LUMTypes.h"
#include "platform/SystemTime.h"

#include <cstdint>

struct TIME_ZONE_INFORMATION
{
    std::int32_t Bias = 0;           // minutes west of UTC, standard time
    char StandardName[32] = {};
    SYSTEMTIME StandardDate;         // transition dates are not known here: all zero
    std::int32_t StandardBias = 0;   // always 0
    char DaylightName[32] = {};
    SYSTEMTIME DaylightDate;
    std::int32_t DaylightBias = 0;   // minutes daylight time adds, negative (-60)
};

constexpr DWORD TIME_ZONE_ID_UNKNOWN = 0;    // the zone has no daylight time
constexpr DWORD TIME_ZONE_ID_STANDARD = 1;
constexpr DWORD TIME_ZONE_ID_DAYLIGHT = 2;   // daylight time is in force now

DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* information);

// Seconds east of UTC in force at `unixTime` (seconds since 1970, UTC): the test zone's
// fixed offset while one is set, else the C library's rules for that instant (TZ is read
// again on every call).
long GetUTCOffsetAt(std::int64_t unixTime);

// Makes GetTimeZoneInformation answer `information` and `result`, and GetUTCOffsetAt the
// fixed offset they give, until called with null, without touching the process environment.
void SetTimeZoneForTesting(const TIME_ZONE_INFORMATION* information, DWORD result);
// Runs the process in the named zone ("Europe/Rome") as a user does: sets TZ. Null puts
// back the TZ the process had before the first call.
void SetTimeZoneNameForTesting(const char* zoneName);
