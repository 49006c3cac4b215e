// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "fileentry.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <deque>
#include <limits>
#include <memory>
#include <vector>

class QIODevice;

// The listing of one directory tree held in memory, in walk order: each
// directory's entries sorted by name with letter case ignored, a
// subdirectory's contents right after its own entry. Top-level names in the
// exclusion list are left out with everything below them. The list owns its
// entries; the walk reports what it met as debug lines and goes on. The
// program itself writes its list while walking (ListRun); this is the face
// for code that wants a whole listing at hand.
class FileList
{
public:
    FileList() = default;
    FileList(const FileList &) = delete;
    FileList &operator=(const FileList &) = delete;

    void setExcludes(const QStringList &names) { m_excludes = names; }

    // Walks root (relative empty) or root/relative, appending what it finds.
    void scan(const QString &root, const QString &relative);

    // Whether the last walk listed its tree exactly: every directory there and
    // readable, apart from those closed to us and names that vanished.
    bool pathExists() const { return m_pathExists; }

    // Writes the listing as a complete new file, synced to disk. An existing
    // file (or link) of that name is replaced, never written through. Returns
    // true when saving failed; a partial file is then removed.
    bool save(const QString &fileName) const;

    // Writes the list file's lines to an open device; false on a write error.
    bool write(QIODevice &device) const;

    const std::deque<FileEntry> &entries() const { return m_entries; }

private:
    class Collector;

    // Keeps the entries' names in large blocks that never move: one
    // allocation per megabyte instead of one per entry.
    class NameStore
    {
    public:
        // Stores prefix/name (name alone when prefix is empty).
        QByteArrayView add(QByteArrayView prefix, QByteArrayView name);

    private:
        std::vector<std::unique_ptr<char[]>> m_blocks;
        size_t m_used = 0;
        size_t m_room = 0;
    };

    // Appends every entry's line to out, handing each full megabyte to flush.
    template <typename Flush>
    bool writeLines(Flush flush) const;

    NameStore m_names;
    std::deque<FileEntry> m_entries;
    QStringList m_excludes;
    bool m_pathExists = false;
};
