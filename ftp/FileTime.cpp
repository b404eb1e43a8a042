#include "ftp/FileTime.h"

#include <chrono>

namespace {

constexpr uint64_t kTicksPerSecond = 10000000ULL;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDelta = 11644473600LL;

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's method).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void civilFromDays(int64_t z, int &y, int &m, int &d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(int64_t(yoe) + era * 400 + (m <= 2));
}

bool isLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m)
{
    static const int days[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

} // namespace

namespace FileTime {

uint64_t toTicks(const TFileTime &ft)
{
    return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

TFileTime fromTicks(uint64_t ticks)
{
    return { uint32_t(ticks & 0xffffffffu), uint32_t(ticks >> 32) };
}

bool fromSystemTime(const TSystemTime &st, TFileTime &out)
{
    if (st.year < 1601 || st.year > 30827 || st.month < 1 || st.month > 12 || st.day < 1
        || st.day > daysInMonth(st.year, st.month) || st.hour < 0 || st.hour > 23 || st.minute < 0
        || st.minute > 59 || st.second < 0 || st.second > 59 || st.millisecond < 0
        || st.millisecond > 999)
        return false;
    const int64_t days = daysFromCivil(st.year, unsigned(st.month), unsigned(st.day));
    const int64_t seconds = days * 86400 + st.hour * 3600 + st.minute * 60 + st.second;
    out = fromUnixSeconds(seconds, st.millisecond);
    return true;
}

TSystemTime toSystemTime(const TFileTime &ft)
{
    const uint64_t ticks = toTicks(ft);
    const int64_t totalSeconds = int64_t(ticks / kTicksPerSecond) - kEpochDelta;
    int64_t days = totalSeconds / 86400;
    int64_t rem = totalSeconds % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    TSystemTime st;
    civilFromDays(days, st.year, st.month, st.day);
    st.hour = int(rem / 3600);
    st.minute = int(rem / 60 % 60);
    st.second = int(rem % 60);
    st.millisecond = int(ticks % kTicksPerSecond / 10000);
    return st;
}

TFileTime fromUnixSeconds(int64_t seconds, int milliseconds)
{
    const int64_t since1601 = seconds + kEpochDelta;
    if (since1601 < 0)
        return { 0, 0 };
    return fromTicks(uint64_t(since1601) * kTicksPerSecond + uint64_t(milliseconds) * 10000);
}

int64_t toUnixSeconds(const TFileTime &ft)
{
    return int64_t(toTicks(ft) / kTicksPerSecond) - kEpochDelta;
}

TFileTime nowUtc()
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    return fromUnixSeconds(ms / 1000, int(ms % 1000));
}

} // namespace FileTime
