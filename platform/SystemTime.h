#pragma once
// Calendar time and file time, with conversions in proleptic Gregorian arithmetic.
#include "platform/LUMTypes.h"

struct SYSTEMTIME
{
    WORD wYear = 0;
    WORD wMonth = 0;       // 1-12
    WORD wDayOfWeek = 0;   // 0 = Sunday
    WORD wDay = 0;         // 1-31
    WORD wHour = 0;
    WORD wMinute = 0;
    WORD wSecond = 0;
    WORD wMilliseconds = 0;
};

// 100-nanosecond intervals since 1 January 1601, UTC.
struct FILETIME
{
    DWORD dwLowDateTime = 0;
    DWORD dwHighDateTime = 0;
};

// Both reject what no calendar holds (month 13, 30 February, a year before 1601 or
// after 30827, a file time at or above 2^63) and then leave the output untouched.
// wDayOfWeek is ignored on input and computed on output.
bool SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
bool FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
