// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "localclock.h"

#include <ctime>
#include <limits>

LocalClock::LocalClock()
{
#ifdef Q_OS_WIN
    _tzset();
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
    const time_t t = time_t(secs);
    if (qint64(t) != secs)
        return false;
    struct tm local;
#ifdef Q_OS_WIN
    if (localtime_s(&local, &t) != 0)
        return false;
#else
    if (!localtime_r(&t, &local))
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
