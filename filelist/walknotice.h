// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "systemerror.h"

#include <QByteArray>
#include <QString>

// Something the walk met besides the entries it lists, in walk order; each
// becomes one debug line. A fatal notice means the tree could not be listed
// exactly, so the list must not be published: clients would delete what it
// leaves out. What the administrator chose (no permission, a link that leads
// back up) or what is gone anyway (a vanished name) is not fatal.
//
// Reading a directory makes the notices of the names it leaves out, with
// path holding the entry's name (CannotStat) or nothing; the walk puts the
// directory's path in front and decides whether each is fatal.
struct WalkNotice {
    enum class Kind {
        Excluded,   // path: the top-level name
        Missing,    // path: the directory
        Unreadable, // path: the directory
        CannotStat, // path: the entry
        LineBreak,  // path: the directory holding the name
        NotText,    // path: the directory holding the name
        Cycle,      // path: the link; target: the directory it leads back to
        OutOfMemory, // path: the source
    };

    Kind kind = Kind::Missing;
    QByteArray path; // UTF-8
    QByteArray target;
    SystemError error; // why, where the system said
    bool fatal = false;
    // The walk joins names with "/"; past the source's first rootSize bytes
    // the paths are shown with the platform's separator. The source itself
    // is shown as it was given.
    qsizetype rootSize = 0;

    QString text() const;
};
