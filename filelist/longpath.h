// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

#include <string>

// Windows takes paths longer than 260 characters only with the \\?\ prefix
// (\\?\UNC\ for a share), which also turns off its rewriting of the name:
// the path is made absolute and normalised first.
std::wstring longPath(const QString &path);
// The same path without the prefix, as messages show it.
QString shortPath(const QString &path);
