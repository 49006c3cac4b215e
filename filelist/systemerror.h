// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

// A failed system call: errno, or GetLastError() on Windows, and the
// system's text for it. Scripts read these texts, so on POSIX they are the C
// library's English ones whatever the locale; Windows gives its own.
struct SystemError {
    // What an error means for the list; each platform's codes are sorted
    // into these by one table (systemerror_posix.cpp, systemerror_win.cpp).
    enum class Cause {
        None,
        Denied,           // want of permission: the administrator's choice
        Missing,          // not there (any more), or not a directory
        LinkLoop,         // a link in a loop of links: it leads nowhere
        OutOfDescriptors, // too many open files; closing some may help
        PathTooLong,      // more than the system takes at once
        Damage,           // anything else: failing storage, a network, memory
    };

    int code = 0;
    QString text;

    // The error of this code, with its text.
    static SystemError fromCode(int code);
    // The calling thread's last error: errno, or GetLastError().
    static SystemError last();
    // Memory ran out: std::bad_alloc turned into the system's error.
    static SystemError outOfMemory();
    // An error of the walk's own, which always counts as damage.
    static SystemError own(const QString &text) { return {-1, text}; }

    bool isSet() const { return code != 0; }
    Cause cause() const;
};
