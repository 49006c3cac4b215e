// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// Reads one directory for the walk: the names of its visible files and
// subdirectories (links count as what they point to) with size and time,
// unsorted. Hidden names (a leading "."), links whose target is missing and
// special files (FIFOs, sockets, devices) are left out without a word; a
// special file is never opened. An entry that cannot be looked at or whose
// name cannot be a list line (a CR or LF in it, or bytes that are not valid
// text in the local encoding) is left out with a debug line, and the reading
// goes on.
class DirectoryReader
{
public:
    enum class Status { Listed, Missing, Unreadable };

    struct Entry {
        QByteArray name; // UTF-8
        bool isDirectory = false;
        qint64 modifiedSecs = 0;
        qint64 size = 0;
    };

    // path in UTF-8
    explicit DirectoryReader(const QByteArray &path);
    ~DirectoryReader();
    DirectoryReader(const DirectoryReader &) = delete;
    DirectoryReader &operator=(const DirectoryReader &) = delete;

    // Missing: not there or not a directory. Unreadable: there, but it could
    // not be opened, or reading it failed part-way.
    Status status() const { return m_status; }
    // The system's reason for Unreadable.
    QString errorString() const { return m_error; }
    // Tells two paths to the same directory apart from two directories.
    QByteArray identity() const { return m_identity; }

    // Appends the entries; call once, only when the directory was opened.
    void read(std::vector<Entry> &entries);

private:
    QByteArray m_path;
    QString m_error;
    QByteArray m_identity;
    Status m_status = Status::Missing;
    int m_fd = -1;
};
