// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

class FileEntry;
class LocalClock;

// The order of names within one directory: both names in lower case, then
// compared by UTF-16 code unit, a prefix before the longer name. This is not
// locale collation: "_x" sorts before "a", and "é" after "z". Names equal
// but for case ("Zed", "zed") are ordered by their own UTF-16 code units, so
// that the order is the names' alone, whatever else the directory holds.
// A pure-ASCII name is compared as it is, with its letters lowered on the
// fly, which spares the walk a converted copy of nearly every name; any other
// name is lowered in full once, by whoever keeps it (listing.h).
struct SortKey {
    QByteArrayView name;  // UTF-8
    QStringView lowered;  // its lower-case form; null for a pure-ASCII name
};
int compareKeys(const SortKey &a, const SortKey &b);

// The walk order of two relative paths, "/"-separated and UTF-8: component by
// component with compareKeys, a directory before what is below it ("a/b"
// comes before "a-b", whose "-" is a smaller byte than "/"). Only a name
// that is not pure ASCII costs a decoded copy.
int comparePaths(QByteArrayView a, QByteArrayView b);

// Appends one line of the list file: name,modified,size and CR LF. The name is
// written unchanged in the local 8-bit encoding; modified is the local time as
// YYYY-MM-DDTHH:MM:SS, empty for a directory. A file's time before the year 1
// is written as 0001-01-01T00:00:00, one after the year 9999 as
// 9999-12-31T23:59:59, so that a file line never looks like a directory's.
void appendListLine(QByteArray &out, const FileEntry &entry, LocalClock &clock);
