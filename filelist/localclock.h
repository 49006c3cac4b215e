// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QtGlobal>

// Turns seconds since the epoch into the local wall-clock time exactly as the
// C library's localtime_r gives it, for any time zone rule it accepts: a
// change at any second, several changes within minutes, leap seconds. Every
// conversion is the C library's own (some tens of nanoseconds); only a repeat
// of the second converted last, common among files written together, is
// answered from that last result. On Windows the system converts, in the
// system's time zone, any time from 1601 on.
class LocalClock
{
public:
    struct Fields {
        int year = 0;
        int month = 0;
        int day = 0;
        int hour = 0;
        int minute = 0;
        int second = 0;
    };

    // Reads the time zone (TZ or the system's) once, for the clock's lifetime.
    LocalClock();

    // False when the C library cannot convert the time.
    bool toLocal(qint64 secsSinceEpoch, Fields *fields);

private:
    qint64 m_lastSecs = 0;
    Fields m_last;
    bool m_hasLast = false;
};
