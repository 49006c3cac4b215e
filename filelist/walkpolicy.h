// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "systemerror.h"

// Where the walk met a problem.
enum class WalkPlace {
    Source,           // opening or reading the source directory itself
    OpenSubdirectory, // opening a directory below it
    ReadSubdirectory, // reading one, at its start or part-way
    LookAtEntry,      // looking at one entry (its type, size and time)
};

// Whether a problem keeps the list from being published. Clients delete what
// the list leaves out, so only what the administrator chose (no permission)
// or what is gone anyway (a name that vanished, a link that leads nowhere)
// lets the run go on; the README's table of messages says the same. One
// more rule lives in the walk, as it depends on the order: the run fails
// when the very last directory it tried to open had vanished.
bool failsRun(WalkPlace place, SystemError::Cause cause);
