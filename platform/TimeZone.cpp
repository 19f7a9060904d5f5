#include "platform/TimeZone.h"

#include "platform/MonotonicClock.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

namespace {

struct Override
{
    std::mutex lock;
    bool active = false;
    TIME_ZONE_INFORMATION information;
    DWORD result = TIME_ZONE_ID_UNKNOWN;
};

// tzset stats the zone file each time: every EIT event and time table would pay for it.
// The rules are read again when TZ changes, and else at most once a second, which still
// follows a change of the system's zone.
void ReloadZoneRules()
{
    static std::mutex lock;
    static std::string lastTz = "\x01";   // never a real value: the first call reads
    static std::int64_t nextRead = 0;
    std::lock_guard<std::mutex> guard(lock);
    const char* tz = std::getenv("TZ");
    const std::string now = tz ? tz : std::string("\x02");   // unset differs from empty
    const std::int64_t monotonic = MonotonicNanoseconds();
    if (now == lastTz && monotonic < nextRead)
        return;
    tzset();
    lastTz = now;
    nextRead = monotonic + 1000000000;
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
        std::lock_guard<std::mutex> guard(TestZone().lock);
        if (TestZone().active) {
            if (information)
                *information = TestZone().information;
            return TestZone().result;
        }
    }
    if (information == nullptr)
        return TIME_ZONE_ID_UNKNOWN;

    tzset();   // localtime_r need not read TZ again
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
    std::lock_guard<std::mutex> guard(TestZone().lock);
    TestZone().active = information != nullptr;
    if (information)
        TestZone().information = *information;
    TestZone().result = result;
}

long GetUTCOffsetAt(std::int64_t unixTime)
{
    {
        std::lock_guard<std::mutex> guard(TestZone().lock);
        if (TestZone().active) {
            const TIME_ZONE_INFORMATION& zone = TestZone().information;
            const bool daylight = TestZone().result == TIME_ZONE_ID_DAYLIGHT;
            return -60L * (long(zone.Bias) + (daylight ? zone.DaylightBias : zone.StandardBias));
        }
    }
    ReloadZoneRules();
    const std::time_t instant = std::time_t(unixTime);
    std::tm local{};
    if (localtime_r(&instant, &local) == nullptr)
        return 0;   // beyond what the C library's calendar holds
    return local.tm_gmtoff;
}

void SetTimeZoneNameForTesting(const char* zoneName)
{
    struct SavedTZ
    {
        bool saved = false;
        bool present = false;
        std::string value;
    };
    static SavedTZ original;   // TZ as it was before the first call
    std::lock_guard<std::mutex> guard(TestZone().lock);
    if (!original.saved) {
        const char* tz = std::getenv("TZ");
        original = {true, tz != nullptr, tz ? tz : ""};
    }
    if (zoneName)
        setenv("TZ", zoneName, 1);
    else if (original.present)
        setenv("TZ", original.value.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
