#include "platform/SystemTime.h"

#include <cstdint>

namespace {

constexpr std::int64_t kTicksPerMillisecond = 10000;
constexpr std::int64_t kTicksPerDay = 86400LL * 1000 * kTicksPerMillisecond;

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1 January 1601 to the given date (civil calendar arithmetic on eras of
// 400 years, March-based so that the leap day ends the year).
std::int64_t DaysFrom1601(int year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = year / 400;   // years here are never negative
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t daysFromYear0 = era * 146097 + dayOfEra;   // from 1 March of year 0
    constexpr std::int64_t k1601 = 1600 / 400 * 146097 + 306;     // 1 Jan 1601 on that scale
    return daysFromYear0 - k1601;
}

void DateFrom1601(std::int64_t days, int& year, int& month, int& day)
{
    const std::int64_t z = days + 1600 / 400 * 146097 + 306;
    const std::int64_t era = z / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    day = int(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

bool SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* ft)
{
    if (st == nullptr || ft == nullptr)
        return false;
    if (st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 || st->wMonth > 12 ||
        st->wDay < 1 || st->wDay > DaysInMonth(st->wYear, st->wMonth) || st->wHour > 23 ||
        st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999)
        return false;
    const std::int64_t days = DaysFrom1601(st->wYear, st->wMonth, st->wDay);
    const std::int64_t ms =
        ((std::int64_t(st->wHour) * 60 + st->wMinute) * 60 + st->wSecond) * 1000 + st->wMilliseconds;
    const auto ticks = std::uint64_t(days * kTicksPerDay + ms * kTicksPerMillisecond);
    ft->dwLowDateTime = DWORD(ticks);
    ft->dwHighDateTime = DWORD(ticks >> 32);
    return true;
}

bool FileTimeToSystemTime(const FILETIME* ft, SYSTEMTIME* st)
{
    if (ft == nullptr || st == nullptr)
        return false;
    const std::uint64_t ticks = (std::uint64_t(ft->dwHighDateTime) << 32) | ft->dwLowDateTime;
    if (ticks >= 0x8000000000000000ULL)
        return false;
    const auto days = std::int64_t(ticks / std::uint64_t(kTicksPerDay));
    const auto msOfDay = std::int64_t(ticks % std::uint64_t(kTicksPerDay)) / kTicksPerMillisecond;
    int year = 0, month = 0, day = 0;
    DateFrom1601(days, year, month, day);
    st->wYear = WORD(year);
    st->wMonth = WORD(month);
    st->wDay = WORD(day);
    st->wDayOfWeek = WORD((days + 1) % 7);   // 1 January 1601 was a Monday
    st->wHour = WORD(msOfDay / 3600000);
    st->wMinute = WORD(msOfDay / 60000 % 60);
    st->wSecond = WORD(msOfDay / 1000 % 60);
    st->wMilliseconds = WORD(msOfDay % 1000);
    return true;
}
