// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

class FileEntry;
class LocalClock;

// The order of names within one directory: both names in lower case, then
// compared by UTF-16 code unit, a prefix before the longer name. This is not
// locale collation: "_x" sorts before "a", and "é" after "z".
// sortKey() takes a UTF-8 name. It gives a pure-ASCII name back as it is and
// compareKeys() lowers ASCII letters on the fly; any other name is lowered in
// full by sortKey(). Sort by compareKeys(sortKey(a), sortKey(b)).
QString sortKey(QByteArrayView utf8Name);
int compareKeys(QStringView a, QStringView b);

// Appends one line of the list file: name,modified,size and CR LF. The name is
// written unchanged in the local 8-bit encoding; modified is the local time as
// YYYY-MM-DDTHH:MM:SS, empty for a directory (and for a time outside the years
// 0 to 9999, which that form cannot hold).
void appendListLine(QByteArray &out, const FileEntry &entry, LocalClock &clock);
