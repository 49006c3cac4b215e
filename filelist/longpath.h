// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

#include <string>

// Windows takes paths longer than 260 characters only with the \\?\ prefix
// (\\?\UNC\ for a share), which also turns off its rewriting of the name:
// the path is made absolute and normalised first, which strips trailing dots
// and spaces and turns "con" into a device. Only the source is opened so;
// everything below it is opened by name (openrelative.h).
std::wstring longPath(const QString &path);
// The same path without the prefix, as messages show it.
QString shortPath(const QString &path);
// How much of a \\?\ path is the root of its drive or share, "\\?\C:\" or
// "\\?\UNC\server\share\"; -1 when it is neither.
qsizetype volumeRootSize(const QString &path);
