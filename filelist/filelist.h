// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <deque>
#include <limits>
#include <memory>
#include <vector>

class QIODevice;

// One listed file or directory: its path relative to the walked directory
// ("/"-separated), its last-modification time and its size. A directory
// carries no time and size 0. A list holds millions of these, so the entry is
// small: the path is UTF-8 (what the list file is written in here) and points
// into storage that the caller keeps alive, for a walk the list's own name
// store; the time is seconds since the epoch, turned into local time only
// when it is read or written.
class FileEntry
{
public:
    explicit FileEntry(QByteArrayView utf8Name)
        : m_name(utf8Name.data()), m_nameSize(qint32(utf8Name.size()))
    {
    }
    FileEntry(QByteArrayView utf8Name, qint64 modifiedSecs, qint64 size)
        : m_name(utf8Name.data()), m_modified(modifiedSecs), m_size(size),
          m_nameSize(qint32(utf8Name.size()))
    {
    }

    QString name() const { return QString::fromUtf8(utf8Name()); }
    QByteArrayView utf8Name() const { return QByteArrayView(m_name, m_nameSize); }
    bool isDirectory() const { return m_modified == NoTime; }
    // Null for a directory.
    QDateTime modified() const
    {
        return isDirectory() ? QDateTime() : QDateTime::fromSecsSinceEpoch(m_modified);
    }
    qint64 modifiedSecs() const { return m_modified; }
    qint64 size() const { return m_size; }

private:
    static constexpr qint64 NoTime = std::numeric_limits<qint64>::min();

    const char *m_name;
    qint64 m_modified = NoTime;
    qint64 m_size = 0;
    qint32 m_nameSize;
};

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
