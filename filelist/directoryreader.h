// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <utility>
#include <vector>

// One open directory of the walk and what reading it gives: the names of its
// visible files and subdirectories (links count as what they point to) with
// size and time, and the entries that could not be looked at. Hidden names,
// links whose target is missing and special files are left out without a
// word; a special file is never opened. Errors are returned, never printed:
// the walk decides what each one means for the list. The system calls live
// in one file per platform.
class DirectoryReader
{
public:
    // A system error: errno, or GetLastError() on Windows.
    struct Error {
        int code = 0;
        QString text;

        bool isSet() const { return code != 0; }
        // Want of permission: the administrator chose to hide it.
        bool isDenied() const;
        // Not there (any more) or not a directory.
        bool isMissing() const;
        // A link in a loop of links: it leads nowhere, like a dangling one.
        bool isLinkLoop() const;
        // The process holds too many open files; closing some may help.
        bool isOutOfDescriptors() const;
    };

    struct Entry {
        qsizetype nameStart = 0; // in Listing::names
        qsizetype nameSize = 0;
        bool isDirectory = false;
        qint64 modifiedSecs = 0;
        qint64 size = 0;
    };

    // An entry left out with a message.
    struct Problem {
        enum class Kind { LineBreak, NotText, CannotStat };
        Kind kind = Kind::CannotStat;
        QByteArray name; // for CannotStat
        Error error;     // for CannotStat
    };

    struct Listing {
        std::vector<Entry> entries;
        QByteArray names; // every entry's name, NUL-terminated, one after the other
        std::vector<Problem> problems; // in the order they were met
        Error readError; // set when reading stopped part-way

        // An entry's name, UTF-8 and NUL-terminated.
        QByteArrayView name(const Entry &entry) const
        {
            return QByteArrayView(names.constData() + entry.nameStart, entry.nameSize);
        }
    };

    // A directory above the walked one.
    struct Ancestor {
        QByteArray identity;
        QByteArray path;
    };

    DirectoryReader() = default;
    DirectoryReader(DirectoryReader &&other) noexcept { swap(other); }
    DirectoryReader &operator=(DirectoryReader &&other) noexcept
    {
        DirectoryReader(std::move(other)).swap(*this);
        return *this;
    }
    DirectoryReader(const DirectoryReader &) = delete;
    DirectoryReader &operator=(const DirectoryReader &) = delete;
    ~DirectoryReader() { close(); }

    // Opens a directory by its path (UTF-8).
    static DirectoryReader open(const QByteArray &path, Error *error);
    // Opens the subdirectory name (NUL-terminated) of an open directory.
    static DirectoryReader openChild(const DirectoryReader &parent, QByteArrayView name,
                                     Error *error);

    bool isOpen() const { return m_native != -1; }
    // Equal for two openings of the same directory, whatever the path.
    QByteArray identity() const { return m_identity; }
    // The directories above this one, nearest first, up to the root of its
    // file system tree; what cannot be looked at is left out.
    std::vector<Ancestor> ancestors() const;

    // Appends every entry, unsorted.
    void read(Listing *listing) const;
    void close();

    // The platform's own handle (a descriptor on POSIX), for writing the list
    // file into this directory.
    qintptr nativeHandle() const { return m_native; }
    // The path it was opened by, where the platform needs one (Windows).
    const QByteArray &path() const { return m_path; }

private:
    // Takes a newly opened descriptor or handle, or the failure to get one.
    static DirectoryReader adopt(int native, Error *error);

    void swap(DirectoryReader &other) noexcept
    {
        std::swap(m_native, other.m_native);
        m_identity.swap(other.m_identity);
        m_path.swap(other.m_path);
    }

    qintptr m_native = -1;
    QByteArray m_identity;
    QByteArray m_path;
};
