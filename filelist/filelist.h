// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <deque>
#include <limits>
#include <vector>

class QIODevice;

// One listed file or directory: its path relative to the walked directory
// ("/"-separated), its last-modification time and its size. A directory
// carries no time and size 0. A list holds millions of these, so the path is
// kept as UTF-8 (half the size of UTF-16, and what the list file is written
// in here) and the time as seconds since the epoch, turned into local time
// only when it is read or written.
class FileEntry
{
public:
    explicit FileEntry(const QByteArray &utf8Name) : m_name(utf8Name) { }
    FileEntry(const QByteArray &utf8Name, qint64 modifiedSecs, qint64 size)
        : m_name(utf8Name), m_modified(modifiedSecs), m_size(size)
    {
    }

    QString name() const { return QString::fromUtf8(m_name); }
    const QByteArray &utf8Name() const { return m_name; }
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

    QByteArray m_name;
    qint64 m_modified = NoTime;
    qint64 m_size = 0;
};

// The listing of one directory tree, in walk order: each directory's entries
// sorted by name with letter case ignored, a subdirectory's contents right
// after its own entry. Top-level names in the exclusion list are left out with
// everything below them. The list owns its entries; the walk reports what it
// cannot list as debug lines and goes on.
class FileList
{
public:
    void setExcludes(const QStringList &names) { m_excludes = names; }

    // Walks root (relative empty) or root/relative, appending what it finds.
    void scan(const QString &root, const QString &relative);

    // Whether the last directory the walk tried to open was there; for the
    // walked directory itself, also whether it could be listed.
    bool pathExists() const { return m_pathExists; }

    // Writes the listing as a complete new file, synced to disk. An existing
    // file (or link) of that name is replaced, never written through. Returns
    // true when saving failed; a partial file is then removed.
    bool save(const QString &fileName) const;

    // Writes the list file's lines to an open device; false on a write error.
    bool write(QIODevice &device) const;

    const std::deque<FileEntry> &entries() const { return m_entries; }

private:
    struct Ancestor {
        QByteArray identity;
        QByteArray path;
    };

    // Paths in UTF-8; dir is root/relative as the messages name it.
    void scanDirectory(const QByteArray &dir, const QByteArray &relative);

    std::deque<FileEntry> m_entries;
    QStringList m_excludes;
    // The directories on the path being walked, to stop at a cycle of links.
    std::vector<Ancestor> m_ancestors;
    bool m_pathExists = false;
};
