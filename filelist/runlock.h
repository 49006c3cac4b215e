// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "directoryreader.h"

// Keeps runs on one directory apart: cron, deploy hooks and administrators
// start the program on the same tree at once, and a run that removed or
// renamed another's new list would publish a cut-off one. The lock is
// advisory, and the system drops it when its holder dies, so a killed run
// never blocks the next. It is taken and released on one thread (Windows
// ties a mutex to the thread that took it). The system calls live in one
// file per platform.
class RunLock
{
public:
    enum class State {
        Taken,
        Held,        // by another run
        Unavailable, // the file system cannot lock
    };

    RunLock() = default;
    ~RunLock(); // releases the lock, if taken
    RunLock(const RunLock &) = delete;
    RunLock &operator=(const RunLock &) = delete;

    // Tries once to take the lock of dir, which must stay open while the
    // lock is held; error tells why it is unavailable.
    State tryTake(const DirectoryReader &dir, SystemError *error);

private:
    qintptr m_native = -1; // the locked descriptor, or the mutex on Windows
    bool m_taken = false;
};
