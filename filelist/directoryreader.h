// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "listing.h"
#include "systemerror.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <utility>
#include <vector>

// One open directory of the walk and what reading it gives: the names of its
// visible files and subdirectories (links count as what they point to) with
// size and time, and a notice for each name it leaves out with a message.
// Hidden names, links whose target is missing and special files are left out
// without a word; a special file is never opened. Errors are returned, never
// printed: the walk decides what each one means for the list. The system
// calls live in one file per platform.
//
// Reading comes in two steps, so that the second can be shared out between
// threads: readNames() lists the names, and settles every entry whose kind
// the listing itself tells; lookAt() looks at the others (a stat on POSIX,
// a link's target on Windows), each entry by one thread only.
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
        struct Hash {
            size_t operator()(const Identity &identity) const
            {
                return size_t(identity.file * 0x9e3779b97f4a7c15ULL ^ identity.volume);
            }
        };
    };

    using Entry = ListingEntry;
    using Listing = ::Listing;

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
    // (NUL-terminated), following links; ".." opens the parent, and the
    // caller checks that it is the one it expects.
    static DirectoryReader openChild(const DirectoryReader &parent, QByteArrayView relative,
                                     Error *error);

    bool isOpen() const { return m_native != -1; }
    Identity identity() const { return m_identity; }
    // The directories above this one, nearest first, up to the root of its
    // file system tree; what cannot be looked at is left out.
    std::vector<Ancestor> ancestors() const;

    // How many files the process may have open at once.
    static int descriptorLimit();

    // Appends every entry, unsorted, and a notice for each name that cannot
    // be a list line.
    void readNames(Listing *listing) const;
    // Looks at the entries [from, to) that are still to be looked at.
    void lookAt(Listing *listing, size_t from, size_t to) const;
    void close();

    // The platform's own handle (a descriptor on POSIX), for writing the list
    // file into this directory.
    qintptr nativeHandle() const { return m_native; }

private:
    // Takes a newly opened descriptor or handle, or the failure to get one.
    static DirectoryReader adopt(int native, Error *error);

    void swap(DirectoryReader &other) noexcept
    {
        std::swap(m_native, other.m_native);
        std::swap(m_identity, other.m_identity);
        m_openedAs.swap(other.m_openedAs);
    }

    qintptr m_native = -1;
    Identity m_identity;
    // The path open() was given, where ancestors() starts from on POSIX.
    QByteArray m_openedAs;
};
