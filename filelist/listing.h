// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "systemerror.h"
#include "walknotice.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QStringView>

#include <vector>

// One entry of a directory being read: 32 bytes, its name kept in the
// listing's arena.
struct ListingEntry {
    enum class Kind : quint8 {
        ToLookAt,   // read, not yet looked at
        Directory,
        File,
        Left,       // left out without a word
        CannotStat, // left out: looking at it failed with error
    };
    enum Flag : quint8 {
        // Met as a link, or as what the listing could not tell: a directory
        // reached so may lead back up.
        Link = 1,
        // Not pure ASCII: the name's lower-case UTF-16 form follows it.
        Lowered = 2,
    };

    qint64 modifiedSecs = 0; // a file's
    qint64 size = 0;         // a file's
    quint32 nameStart = 0;   // in the arena
    int error = 0;           // the system's code, for CannotStat
    quint16 nameSize = 0;
    Kind kind = Kind::ToLookAt;
    quint8 flags = 0;
};
Q_DECLARE_TYPEINFO(ListingEntry, Q_RELOCATABLE_TYPE);

// What reading one directory gives: its visible entries, a notice for each
// name left out with a message, and the error that stopped the reading, if
// any. A directory may hold millions of entries, so they are held compactly
// and sorted in place: each name once, UTF-8 and NUL-terminated (as openat()
// takes it), in one arena; a name that is not pure ASCII is followed by its
// lower-case form, made once for sorting. Both grow by reallocation, which
// moves large blocks without copying them.
class Listing
{
public:
    using Entry = ListingEntry;

    QList<Entry> entries;
    std::vector<WalkNotice> problems; // in the order they were met
    SystemError readError;            // set when reading stopped part-way

    // Appends an entry named utf8, which must be valid UTF-8; decoded is the
    // name as UTF-16 when it is not pure ASCII. False, with readError set,
    // when the arena cannot hold it.
    bool add(QByteArrayView utf8, QStringView decoded, Entry entry);
    // An entry's name, UTF-8 and NUL-terminated.
    QByteArrayView name(const Entry &entry) const
    {
        return QByteArrayView(m_names.constData() + entry.nameStart, entry.nameSize);
    }
    // Once every entry was looked at: keeps the directories and files,
    // and adds a notice for each that could not be looked at.
    void settle();
    // Sorts the entries into list order (listformat.h), in place.
    void sort();
    bool hasDirectories() const;

private:
    // A name's lower-case form, if it has one of its own.
    QStringView lowered(const Entry &entry) const;

    QByteArray m_names;
};
