#pragma once
// DVB time fields: 16-bit Modified Julian Dates, BCD times of day and durations, UTC to
// local time, and their texts. Points in time as numbers are seconds since 1 January 1601
// on the same scale (UTC or local) as the calendar time they come from.
#include "platform/CString.h"
#include "platform/SystemTime.h"

#include <cstdint>

// Low nibble of the low byte + 10 x the next nibble; higher bits are ignored.
int BCDToInt(WORD value);
// ETSI EN 300 468 annex C. Always true.
bool MJDToDate(WORD mjd, int& year, int& month, int& day);
// "dd/mm/yyyy". Always true.
bool MJDToDateText(WORD mjd, CString& text);

// A time no calendar holds (month 13, hour 25: digits that were not BCD) is 0 seconds, and
// false; seconds no calendar time holds give a SYSTEMTIME of all zeros (month 0):
// defined, and recognisably not a date. Converting such a SYSTEMTIME gives month 0 again.
bool SystemTimeToSeconds(const SYSTEMTIME* time, std::uint64_t* seconds);
void SecondsToSystemTime(std::uint64_t seconds, SYSTEMTIME* time);
// Seconds east of UTC in force at the instant `utc` (the platform's zone rules for that
// instant); 0 for a time no calendar holds.
long UTCOffsetSeconds(const SYSTEMTIME* utc);
// With the offset of that instant, so a time after a daylight-saving change gets its own.
void UTCToLocalTime(const SYSTEMTIME* utc, SYSTEMTIME* local);
// "2026-03-29T03:00:00+02:00": the local time of `utc` with its offset; empty for a time
// no calendar holds.
void FormatIsoLocalTime(CString& text, const SYSTEMTIME* utc);

// "hh:mm:ss" of a BCD time (hours in bits 23-16): the digits print as they were sent.
void BCDTimeToText(DWORD time, CString& text);

// "yyyy/mm/dd" and "hh:mm".
void FormatDateText(CString& text, const SYSTEMTIME* time);
void FormatTimeText(CString& text, const SYSTEMTIME* time);
