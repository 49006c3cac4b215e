// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QtGlobal>

// What a new list changes against the list it replaces, entry by entry: a
// name the previous list did not have, one it had with another time or size
// (or as a file, now a directory), one it no longer has.
struct ChangeCounts {
    qint64 added = 0;
    qint64 changed = 0;
    qint64 gone = 0;
};
