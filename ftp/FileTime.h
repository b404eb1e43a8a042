#pragma once

#include "ftp/Win32FindData.h"

#include <cstdint>

// Calendar fields of a file time, as stored: no time-zone conversion.
struct TSystemTime {
    int year = 1601; // 1601..30827
    int month = 1; // 1..12
    int day = 1; // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

namespace FileTime {

uint64_t toTicks(const TFileTime &ft);
TFileTime fromTicks(uint64_t ticks);

// False when the fields do not name a real moment (month 13, 30 February...).
bool fromSystemTime(const TSystemTime &st, TFileTime &out);
TSystemTime toSystemTime(const TFileTime &ft);

// Seconds since 1970-01-01 (UTC) <-> file time.
TFileTime fromUnixSeconds(int64_t seconds, int milliseconds = 0);
int64_t toUnixSeconds(const TFileTime &ft);

// The current time in UTC, as the platform gives it.
TFileTime nowUtc();

} // namespace FileTime
