// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "filelist.h"

#include "directoryreader.h"
#include "listfile.h"
#include "listformat.h"
#include "localclock.h"

#include <QDebug>
#include <QFile>

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t MaxHeldDirectories = 32;

struct Item {
    const DirectoryReader::Entry *entry;
    SortKey key;
};

void debugLine(const QString &text)
{
    qDebug().noquote() << text;
}

// QFile returns a short count rather than an error when the disk fills up
// part-way; writing the rest then brings out the system's reason.
bool writeAll(QIODevice &device, const QByteArray &data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const qint64 n = device.write(data.constData() + done, data.size() - done);
        if (n <= 0)
            return false;
        done += qsizetype(n);
    }
    return true;
}

} // namespace

void FileList::scan(const QString &root, const QString &relative)
{
    const QByteArray rel = relative.toUtf8();
    scanDirectory(relative.isEmpty() ? root.toUtf8() : root.toUtf8() + '/' + rel, rel, nullptr, {});
}

void FileList::scanDirectory(const QByteArray &dir, QByteArrayView relative,
                             const DirectoryReader *parent, QByteArrayView name)
{
    const bool top = relative.isEmpty();
    DirectoryReader reader(dir, parent, name);

    // A walked directory that cannot be listed must fail the run: an empty
    // list would tell clients that everything in it is gone.
    m_pathExists = reader.status() == DirectoryReader::Status::Listed
            || (!top && reader.status() == DirectoryReader::Status::Unreadable);
    if (reader.status() == DirectoryReader::Status::Missing) {
        debugLine(QStringLiteral("filelist: this path is not valid/available: ")
                  + QString::fromUtf8(dir));
        return;
    }

    const QByteArray identity = reader.identity();
    for (const Ancestor &ancestor : m_ancestors) {
        if (!identity.isEmpty() && ancestor.identity == identity) {
            debugLine(QStringLiteral("filelist: not entering %1: it leads back to %2")
                              .arg(QString::fromUtf8(dir), QString::fromUtf8(ancestor.path)));
            return;
        }
    }

    std::vector<DirectoryReader::Entry> found;
    reader.read(found);
    // Subdirectories open through their parent's descriptor, but only so many
    // are held at once: a deeper walk opens its directories by path.
    const bool heldOpen = m_ancestors.size() < MaxHeldDirectories;
    if (!heldOpen)
        reader.release();
    if (reader.status() == DirectoryReader::Status::Unreadable) {
        m_pathExists = !top;
        debugLine(QStringLiteral("filelist: cannot read directory %1: %2")
                          .arg(QString::fromUtf8(dir), reader.errorString()));
    }

    std::vector<Item> items;
    items.reserve(found.size());
    for (const DirectoryReader::Entry &entry : found)
        items.push_back({&entry, SortKey(reader.name(entry))});
    std::sort(items.begin(), items.end(), [](const Item &a, const Item &b) {
        return compareKeys(a.key, b.key) < 0;
    });

    m_ancestors.push_back({identity, dir});
    for (const Item &item : items) {
        const QByteArrayView child = reader.name(*item.entry);
        if (top && m_excludes.contains(QString::fromUtf8(child))) {
            debugLine(QString::fromUtf8(child) + QStringLiteral(" excluded"));
            continue;
        }
        const QByteArrayView entryName = m_names.add(relative, child);
        if (item.entry->isDirectory) {
            m_entries.emplace_back(entryName);
            scanDirectory(QByteArray(dir).append('/').append(child), entryName,
                          heldOpen ? &reader : nullptr, child);
        } else {
            m_entries.emplace_back(entryName, item.entry->modifiedSecs, item.entry->size);
        }
    }
    m_ancestors.pop_back();
}

QByteArrayView FileList::NameStore::add(QByteArrayView prefix, QByteArrayView name)
{
    constexpr size_t BlockSize = 1 << 20;
    const size_t size = prefix.isEmpty() ? size_t(name.size())
                                         : size_t(prefix.size()) + 1 + size_t(name.size());
    if (m_used + size > m_room) {
        m_room = qMax(BlockSize, size);
        m_blocks.push_back(std::make_unique<char[]>(m_room));
        m_used = 0;
    }
    char *start = m_blocks.back().get() + m_used;
    char *p = start;
    if (!prefix.isEmpty()) {
        std::memcpy(p, prefix.data(), size_t(prefix.size()));
        p += prefix.size();
        *p++ = '/';
    }
    std::memcpy(p, name.data(), size_t(name.size()));
    m_used += size;
    return QByteArrayView(start, qsizetype(size));
}

bool FileList::write(QIODevice &device) const
{
    constexpr qsizetype Chunk = 1 << 20;
    LocalClock clock;
    QByteArray buffer;
    buffer.reserve(Chunk + 4096);
    for (const FileEntry &entry : m_entries) {
        appendListLine(buffer, entry, clock);
        if (buffer.size() >= Chunk) {
            if (!writeAll(device, buffer))
                return false;
            buffer.resize(0);
        }
    }
    return writeAll(device, buffer);
}

bool FileList::save(const QString &fileName) const
{
    // A file left by an earlier run may be a link planted to make us write
    // elsewhere: remove whatever is there and create the file anew, which
    // never follows a link.
    QFile::remove(fileName);
    QFile file(fileName);
    QString reason;
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        debugLine(QStringLiteral("filelist: cannot write %1: %2").arg(fileName, file.errorString()));
        return true;
    }
    const bool written = write(file);
    if (!written)
        reason = file.errorString();
    if (written && syncToDisk(file, &reason)) {
        file.close();
        if (file.error() == QFileDevice::NoError)
            return false;
        reason = file.errorString();
    }
    debugLine(QStringLiteral("filelist: cannot write %1: %2").arg(fileName, reason));
    file.close();
    file.remove();
    return true;
}
