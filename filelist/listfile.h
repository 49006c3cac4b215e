// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "directoryreader.h"

#include <QByteArray>

// A list file written anew inside a directory that is held open, so that it
// lands in the very directory that was walked even if another one is put at
// its path meanwhile. Clients may read the list at any moment, and one that
// reads a missing or cut-off list may delete or skip files, so the list is
// written under a name of its own, synced, and only then renamed over the
// old one in one step. Nothing is ever written through a link left at either
// name. The system calls live in one file per platform.
class ListFile
{
public:
    static constexpr char Name[] = "filelist.sync";
    static constexpr char NewName[] = "filelist.sync.new";

    using Error = DirectoryReader::Error;

    // dir must stay open while the file is written.
    ListFile(const DirectoryReader &dir, const char *name);
    ~ListFile(); // removes the file unless it was renamed into place
    ListFile(const ListFile &) = delete;
    ListFile &operator=(const ListFile &) = delete;

    // Removes whatever is at the name and creates an empty file there. It
    // takes the mode of the file it is to replace (and its owner, where the
    // process may set it), or the usual mode for a new file when there is
    // none; replacedSize gets that file's size, or -1.
    bool create(const char *replacing, qint64 *replacedSize, Error *error);
    bool write(const char *data, qsizetype size, Error *error);
    // Flushes the data to the disk and closes the file (Windows keeps it open
    // for the rename, which goes through its handle).
    bool finish(Error *error);
    // Renames the finished file to name in the same directory, replacing
    // what is there.
    bool renameTo(const char *name, Error *error);
    // Makes the rename durable: until the directory reaches the disk, a power
    // cut may bring the old list back (whole, as either list is).
    bool syncDirectory(Error *error);

    // Removes the file name below dir, never through a link; one that is not
    // there is no error.
    static bool removeFile(const DirectoryReader &dir, const char *name, Error *error);

private:
    void remove();

    const DirectoryReader &m_dir;
    const char *m_name;
    qintptr m_native = -1;
    bool m_created = false;
};
