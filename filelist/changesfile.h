// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "listfile.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// The names of what a new list changes, one line each ("+ NAME", "~ NAME",
// "- NAME", in walk order), written to the file the administrator named
// while the new list is written, and put in place only after the new list
// is: the file tells the change that brought the list in place, or is not
// there. It is replaced as the list is (ListFile): written under a name of
// its own beside it (FILE.new), synced and renamed over FILE in one step.
// Touched by the walk's thread only.
class ChangesFile
{
public:
    using Error = ListFile::Error;

    // path: FILE, UTF-8, absolute or from the working directory.
    explicit ChangesFile(const QByteArray &path);
    ~ChangesFile(); // removes FILE.new unless it was put in place
    ChangesFile(const ChangesFile &) = delete;
    ChangesFile &operator=(const ChangesFile &) = delete;

    // Creates FILE.new, in place of whatever was there.
    bool create(Error *error);
    // One change: kind is '+', '~' or '-'. Once writing failed, nothing more
    // is written and failed() says so.
    void add(char kind, QByteArrayView name);
    bool failed() const { return m_failed; }
    const Error &error() const { return m_error; }
    // Writes the rest, syncs and renames it over FILE.
    bool commit(Error *error);
    // Removes FILE when there are no changes to tell.
    bool removeOld(Error *error);

private:
    bool openDirectory(Error *error);
    bool flush();

    QByteArray m_directory;
    QByteArray m_name;
    QByteArray m_newName;
    DirectoryReader m_dir;
    std::optional<ListFile> m_file;
    QByteArray m_buffer;
    Error m_error;
    bool m_failed = false;
};
