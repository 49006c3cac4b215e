// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "directoryreader.h"

#include <QByteArray>

// Whether an open directory holds an entry of that name (UTF-8), of any kind,
// a link counting as itself: *holds says, unless the system could not tell
// (false, with error set). Asked below the directory's handle, so that it is
// the directory that is walked, whatever is at its path. One file per
// platform.
bool holdsName(const DirectoryReader &dir, const QByteArray &name, bool *holds,
               SystemError *error);
