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
        qsizetype nameStart = 0; // in names()
        qsizetype nameSize = 0;
        bool isDirectory = false;
        qint64 modifiedSecs = 0;
        qint64 size = 0;
    };

    // path in UTF-8. With a parent reader the directory is opened as name
    // (NUL-terminated, as the parent's name() gives it) inside the parent's,
    // which spares the system a walk down the whole path.
    explicit DirectoryReader(const QByteArray &path, const DirectoryReader *parent = nullptr,
                             QByteArrayView name = {});
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
    // Closes the directory early; it can then no longer be a parent.
    void release();
    // An entry's name, UTF-8 and NUL-terminated, valid while the reader lives.
    QByteArrayView name(const Entry &entry) const
    {
        return QByteArrayView(m_names.constData() + entry.nameStart, entry.nameSize);
    }

private:
    QByteArray m_path;
    QByteArray m_names; // every entry's name, one after the other
    QString m_error;
    QByteArray m_identity;
    Status m_status = Status::Missing;
    int m_fd = -1;
};
