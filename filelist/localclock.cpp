// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "localclock.h"

#include <ctime>

namespace {

// UTC offset in force at the given time, or false when it cannot be had.
bool offsetAt(qint64 secs, int *offset)
{
    const time_t t = time_t(secs);
    struct tm local;
#ifdef Q_OS_WIN
    if (localtime_s(&local, &t) != 0)
        return false;
    const time_t asUtc = _mkgmtime(&local);
    if (asUtc == time_t(-1))
        return false;
    *offset = int(asUtc - t);
#else
    if (!localtime_r(&t, &local))
        return false;
    *offset = int(local.tm_gmtoff);
#endif
    return true;
}

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Days since 1970-01-01 to a proleptic Gregorian date (H. Hinnant's algorithm).
void civilFromDays(qint64 days, LocalClock::Fields *f)
{
    days += 719468;
    const qint64 era = floorDiv(days, 146097);
    const qint64 doe = days - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const qint64 day = doy - (153 * mp + 2) / 5 + 1;
    const qint64 month = mp < 10 ? mp + 3 : mp - 9;
    f->year = int(yoe + era * 400 + (month <= 2));
    f->month = int(month);
    f->day = int(day);
}

} // namespace

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
    const qint64 bucket = floorDiv(secs, BucketSeconds);
    Slot &slot = m_slots[size_t(bucket) % m_slots.size()];
    if (!slot.used || slot.bucket != bucket) {
        int first = 0;
        int last = 0;
        if (!offsetAt(bucket * BucketSeconds, &first)
            || !offsetAt(bucket * BucketSeconds + BucketSeconds - 1, &last))
            return false;
        slot = {bucket, first, true, first == last};
    }
    int offset = slot.offset;
    if (!slot.uniform && !offsetAt(secs, &offset))
        return false;

    const qint64 local = secs + offset;
    const qint64 days = floorDiv(local, 86400);
    const qint64 inDay = local - days * 86400;
    civilFromDays(days, fields);
    fields->hour = int(inDay / 3600);
    fields->minute = int(inDay / 60 % 60);
    fields->second = int(inDay % 60);
    return true;
}
