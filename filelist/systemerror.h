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
    QString ownText; // for an error of the walk's own

    // The error of this code. Nothing is allocated: a worker may record an
    // error while memory runs out; the text is made when it is shown.
    static SystemError fromCode(int code) noexcept { return {code, {}}; }
    // The calling thread's last error: errno, or GetLastError().
    static SystemError last() noexcept;
    // Memory ran out: std::bad_alloc turned into the system's error.
    static SystemError outOfMemory() noexcept;
    // An error of the walk's own, which always counts as damage.
    static SystemError own(const QString &text) { return {-1, text}; }

    bool isSet() const { return code != 0; }
    Cause cause() const;
    // The system's text for it.
    QString text() const;
};
