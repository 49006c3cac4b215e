// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "systemerror.h"

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
//
// Reading comes in two steps, so that the second can be shared out between
// threads: readNames() lists the names, and settles every entry whose kind
// the listing itself tells; lookAt() looks at the others (a stat on POSIX,
// a link's target on Windows), each entry by one thread only.
//
// Only the source is opened by its path. Below it every directory, link and
// file is opened by its exact name relative to its parent's handle (openat()
// on POSIX, NtCreateFile with a root directory on Windows), and directories
// are listed through their handles: no path is built, so nothing is too deep,
// and on Windows no name is rewritten as Win32 paths rewrite them ("foo." is
// not "foo", "bar " keeps its space, "con" is no device). Windows lists a
// directory with each entry's attributes, size and time, so only links and
// junctions are looked at one by one. Wine shows the names, but not
// case-sensitive folders, links, junctions or shares.
class DirectoryReader
{
public:
    using Error = SystemError;

    // Equal for two openings of the same directory, whatever the path.
    struct Identity {
        quint64 volume = 0;
        quint64 file = 0;
        bool operator==(const Identity &other) const
        {
            return volume == other.volume && file == other.file;
        }
        bool operator!=(const Identity &other) const { return !(*this == other); }
    };

    struct Entry {
        enum class Kind : quint8 {
            ToLookAt,   // read, not yet looked at
            Directory,
            File,
            Left,       // left out without a word
            LineBreak,  // left out: a CR or LF in its name
            NotText,    // left out: a name the list cannot hold
            CannotStat, // left out: size holds the error code
        };
        qsizetype nameStart = 0; // in Listing::names
        qint32 nameSize = 0;
        Kind kind = Kind::ToLookAt;
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
        // How many entries lookAt() is still to see.
        size_t toLookAt() const;
        // Once every entry was looked at: keeps the directories and files,
        // and turns the others' messages into problems, in the order met.
        void settle();
    };

    // A directory above the walked one.
    struct Ancestor {
        Identity identity;
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
    // Opens a directory below an open one: a name, or several joined by "/"
    // (NUL-terminated), following links; ".." opens the parent (on Windows
    // by the path the directory has now), and the caller checks that it is
    // the one it expects.
    static DirectoryReader openChild(const DirectoryReader &parent, QByteArrayView relative,
                                     Error *error);

    bool isOpen() const { return m_native != -1; }
    Identity identity() const { return m_identity; }
    // The directories above this one, nearest first, up to the root of its
    // file system tree; what cannot be looked at is left out.
    std::vector<Ancestor> ancestors() const;

    // How many files the process may have open at once.
    static int descriptorLimit();
    // How often the calling thread has waited for the system so far: a
    // change across a system call means that the storage made it wait.
    // Windows counts no waits: there it is the thread's time not running
    // growing by more than a clock tick, a busy machine's included.
    static qint64 waitsOfThisThread();

    // Appends every entry, unsorted.
    void readNames(Listing *listing) const;
    // Looks at the entries [from, to) that are still to be looked at.
    void lookAt(Listing *listing, size_t from, size_t to) const;
    void close();

    // The platform's own handle (a descriptor on POSIX), for writing the list
    // file into this directory.
    qintptr nativeHandle() const { return m_native; }

private:
    // Takes a newly opened descriptor, or the failure to get one (POSIX).
    static DirectoryReader adopt(int native, Error *error);

    void swap(DirectoryReader &other) noexcept
    {
        std::swap(m_native, other.m_native);
        std::swap(m_identity, other.m_identity);
        m_path.swap(other.m_path);
    }

    qintptr m_native = -1;
    Identity m_identity;
    QByteArray m_path; // the one it was opened by, if any
};
