#include "platform/TimeZone.h"

#include <cstring>
#include <ctime>
#include <mutex>

namespace {

struct Override
{
    bool active = false;
    TIME_ZONE_INFORMATION information;
    DWORD result = TIME_ZONE_ID_UNKNOWN;
};

std::mutex& OverrideLock()
{
    static std::mutex lock;
    return lock;
}

Override& TestZone()
{
    static Override zone;
    return zone;
}

void CopyName(char (&to)[32], const char* from)
{
    std::strncpy(to, from ? from : "", sizeof to - 1);
    to[sizeof to - 1] = '\0';
}

}  // namespace

DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* information)
{
    {
        std::lock_guard<std::mutex> guard(OverrideLock());
        if (TestZone().active) {
            if (information)
                *information = TestZone().information;
            return TestZone().result;
        }
    }
    if (information == nullptr)
        return TIME_ZONE_ID_UNKNOWN;

    const std::time_t now = std::time(nullptr);
    std::tm current{};
    localtime_r(&now, &current);

    // Standard and daylight offsets from two points half a year apart, so that one of
    // them lies outside daylight time in either hemisphere.
    long standardOffset = current.tm_gmtoff;
    long daylightOffset = current.tm_gmtoff;
    const char* standardName = current.tm_zone;
    const char* daylightName = current.tm_zone;
    bool hasDaylight = false;
    for (int days : {0, 182}) {
        const std::time_t probe = now + std::time_t(days) * 86400;
        std::tm local{};
        localtime_r(&probe, &local);
        if (local.tm_isdst > 0) {
            hasDaylight = true;
            daylightOffset = local.tm_gmtoff;
            daylightName = local.tm_zone;
        } else {
            standardOffset = local.tm_gmtoff;
            standardName = local.tm_zone;
        }
    }

    *information = TIME_ZONE_INFORMATION();
    information->Bias = std::int32_t(-standardOffset / 60);
    information->StandardBias = 0;
    information->DaylightBias = hasDaylight ? std::int32_t(-(daylightOffset - standardOffset) / 60) : 0;
    CopyName(information->StandardName, standardName);
    CopyName(information->DaylightName, daylightName);
    if (!hasDaylight)
        return TIME_ZONE_ID_UNKNOWN;
    return current.tm_isdst > 0 ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

void SetTimeZoneForTesting(const TIME_ZONE_INFORMATION* information, DWORD result)
{
    std::lock_guard<std::mutex> guard(OverrideLock());
    TestZone().active = information != nullptr;
    if (information)
        TestZone().information = *information;
    TestZone().result = result;
}
