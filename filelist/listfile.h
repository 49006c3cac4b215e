// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

class FileList;
class QFileDevice;

// Replacing the list file. Clients may read it at any moment, and one that
// reads a missing or cut-off list may delete or skip files, so the directory
// must hold either the complete old list or the complete new one at every
// moment, even when the program is killed or the machine loses power. Every
// failure leaves one debug line naming the path and the system's reason.

// Writes the list to listFile + ".new", syncs it, then renames it over
// listFile in one step. On failure the old list file stays as it was and no
// ".new" file is left behind. Returns true when the new list is in place.
bool publishListFile(const FileList &list, const QString &listFile);

// Flushes an open file's data to the disk; on failure sets error to the
// system's reason.
bool syncToDisk(QFileDevice &file, QString *error);

// Moves from over to in one atomic step (replacing to if it exists, also
// when it is a link, which is replaced rather than followed).
bool replaceFile(const QString &from, const QString &to);
