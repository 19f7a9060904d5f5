#include "si/DVBTime.h"

#include "platform/TimeZone.h"

namespace {

constexpr std::uint64_t kTicksPerSecond = 10000000;
// The largest second count whose file time stays below 2^63.
constexpr std::uint64_t kLastSecond = 0x7FFFFFFFFFFFFFFFULL / kTicksPerSecond;
// Seconds from 1 January 1601 to 1 January 1970.
constexpr std::int64_t kUnixEpoch = 11644473600LL;

}  // namespace

int BCDToInt(WORD value)
{
    return (value & 0x0F) + 10 * ((value >> 4) & 0x0F);
}

bool MJDToDate(WORD mjd, int& year, int& month, int& day)
{
    const double m = mjd;
    const int y1 = int((m - 15078.2) * 0.0027378507871321013);
    const int m1 = int((m - 14956.1 - int(y1 * 365.25)) * 0.03267963176590926);
    day = int(m - 14956 - int(y1 * 365.25) - int(m1 * 30.6001));
    if (m1 == 14 || m1 == 15) {
        year = y1 + 1901;
        month = m1 - 13;
    } else {
        year = y1 + 1900;
        month = m1 - 1;
    }
    return true;
}

bool MJDToDateText(WORD mjd, CString& text)
{
    int year = 0, month = 0, day = 0;
    MJDToDate(mjd, year, month, day);
    text.Format("%02d/%02d/%04d", day, month, year);
    return true;
}

bool SystemTimeToSeconds(const SYSTEMTIME* time, std::uint64_t* seconds)
{
    FILETIME fileTime;
    if (!SystemTimeToFileTime(time, &fileTime)) {
        *seconds = 0;
        return false;
    }
    const std::uint64_t ticks = (std::uint64_t(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
    *seconds = ticks / kTicksPerSecond;
    return true;
}

void SecondsToSystemTime(std::uint64_t seconds, SYSTEMTIME* time)
{
    *time = SYSTEMTIME();
    if (seconds > kLastSecond)
        return;
    const std::uint64_t ticks = seconds * kTicksPerSecond;
    FILETIME fileTime;
    fileTime.dwLowDateTime = DWORD(ticks);
    fileTime.dwHighDateTime = DWORD(ticks >> 32);
    if (!FileTimeToSystemTime(&fileTime, time))
        *time = SYSTEMTIME();
}

long UTCOffsetSeconds(const SYSTEMTIME* utc)
{
    std::uint64_t seconds = 0;
    if (!SystemTimeToSeconds(utc, &seconds))
        return 0;
    return GetUTCOffsetAt(std::int64_t(seconds) - kUnixEpoch);
}

void UTCToLocalTime(const SYSTEMTIME* utc, SYSTEMTIME* local)
{
    std::uint64_t seconds = 0;
    if (!SystemTimeToSeconds(utc, &seconds)) {
        *local = SYSTEMTIME();
        return;
    }
    const std::int64_t shifted = std::int64_t(seconds) + UTCOffsetSeconds(utc);
    // before 1601: no calendar time
    SecondsToSystemTime(shifted < 0 ? kLastSecond + 1 : std::uint64_t(shifted), local);
}

void FormatIsoLocalTime(CString& text, const SYSTEMTIME* utc)
{
    SYSTEMTIME local;
    UTCToLocalTime(utc, &local);
    if (local.wMonth == 0) {
        text.Empty();
        return;
    }
    const long offset = UTCOffsetSeconds(utc) / 60;
    const long magnitude = offset < 0 ? -offset : offset;
    text.Format("%04u-%02u-%02uT%02u:%02u:%02u%c%02ld:%02ld", unsigned(local.wYear), unsigned(local.wMonth),
                unsigned(local.wDay), unsigned(local.wHour), unsigned(local.wMinute), unsigned(local.wSecond),
                offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
}

void BCDTimeToText(DWORD time, CString& text)
{
    text.Format("%02x:%02x:%02x", unsigned((time >> 16) & 0xFF), unsigned((time >> 8) & 0xFF),
                unsigned(time & 0xFF));
}

void FormatDateText(CString& text, const SYSTEMTIME* time)
{
    text.Format("%02d/%02d/%02d", time->wYear, time->wMonth, time->wDay);
}

void FormatTimeText(CString& text, const SYSTEMTIME* time)
{
    text.Format("%02d:%02d", time->wHour, time->wMinute);
}
