// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QtGlobal>

#include <array>

// Turns seconds since the epoch into the local wall-clock time, as the C
// library's time zone rules give it. The list holds one time per file, so the
// UTC offset is cached per quarter hour: the C library is asked only when a
// new quarter hour turns up, and the answer is exact because no time zone
// changes its offset twice within fifteen minutes.
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
    struct Slot {
        qint64 bucket = 0;
        int offset = 0;
        bool used = false;
        bool uniform = false; // false: the offset changes inside the bucket
    };

    static constexpr qint64 BucketSeconds = 900;
    std::array<Slot, 512> m_slots;
};
