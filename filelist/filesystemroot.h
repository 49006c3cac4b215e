// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>

// Whether path (UTF-8) names the root of a file system tree: "/", "//", "/.",
// "/..", a link to "/", on Windows a drive's root ("C:\", "\\?\C:\"). Such a
// source would list every file of the machine, /proc and the shares mounted
// below included, and write the list at the top: it is never walked. The root
// is told by identity, as the directory that is its own parent, so that any
// spelling of it counts. A Windows share's root ("\\server\share\") is a
// published tree like any other and is not refused. A path that cannot be
// looked at is no root: the walk then says what is wrong with it. The system
// calls live in one file per platform.
bool isFileSystemRoot(const QByteArray &path);
