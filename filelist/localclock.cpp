// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "localclock.h"

#include <ctime>
#include <limits>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

#ifdef Q_OS_WIN
// The system's time zone as the process found it, read once. Its standard and
// daylight rule is applied to every year, as the C runtime and Explorer do
// when TZ is not set; TZ itself is left to the C runtime, which rejects times
// before 1970 and after 3000.
const TIME_ZONE_INFORMATION &systemZone()
{
    static const TIME_ZONE_INFORMATION zone = [] {
        TIME_ZONE_INFORMATION z;
        if (GetTimeZoneInformation(&z) == TIME_ZONE_ID_INVALID)
            z = {};
        return z;
    }();
    return zone;
}

// File times count 100 ns from 1601 and reach the year 30827; the system
// converts the whole of that range.
bool systemLocalTime(qint64 secs, struct tm *local)
{
    constexpr qint64 SecondsTo1970 = Q_INT64_C(11644473600);
    constexpr qint64 TicksPerSecond = 10000000;
    if (secs < -SecondsTo1970
        || secs > std::numeric_limits<qint64>::max() / TicksPerSecond - SecondsTo1970)
        return false;
    const quint64 ticks = quint64(secs + SecondsTo1970) * TicksPerSecond;
    const FILETIME utc = {DWORD(ticks), DWORD(ticks >> 32)};
    SYSTEMTIME universal;
    SYSTEMTIME wall;
    if (!FileTimeToSystemTime(&utc, &universal)
        || !SystemTimeToTzSpecificLocalTime(&systemZone(), &universal, &wall))
        return false;
    local->tm_year = wall.wYear - 1900;
    local->tm_mon = wall.wMonth - 1;
    local->tm_mday = wall.wDay;
    local->tm_hour = wall.wHour;
    local->tm_min = wall.wMinute;
    local->tm_sec = wall.wSecond;
    return true;
}
#endif

} // namespace

LocalClock::LocalClock()
{
#ifdef Q_OS_WIN
    systemZone();
#else
    tzset();
#endif
}

bool LocalClock::toLocal(qint64 secs, Fields *fields)
{
    if (m_hasLast && secs == m_lastSecs) {
        *fields = m_last;
        return true;
    }
    struct tm local;
#ifdef Q_OS_WIN
    if (!systemLocalTime(secs, &local))
        return false;
#else
    const time_t t = time_t(secs);
    if (qint64(t) != secs || !localtime_r(&t, &local))
        return false;
#endif
    if (local.tm_year > std::numeric_limits<int>::max() - 1900)
        return false;
    m_last = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
              local.tm_hour,        local.tm_min,     local.tm_sec};
    m_lastSecs = secs;
    m_hasLast = true;
    *fields = m_last;
    return true;
}
