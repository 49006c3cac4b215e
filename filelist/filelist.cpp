// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "filelist.h"

#include "directorywalk.h"
#include "listfile.h"
#include "listformat.h"
#include "localclock.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>

#include <cstring>

// Keeps every entry of a walk and prints what the walk met.
class FileList::Collector : public WalkSink
{
public:
    Collector(FileList *list, QByteArrayView prefix) : m_list(list), m_prefix(prefix) { }

    void entry(const FileEntry &entry) override
    {
        const QByteArrayView name = m_list->m_names.add(m_prefix, entry.utf8Name());
        if (entry.isDirectory())
            m_list->m_entries.emplace_back(name);
        else
            m_list->m_entries.emplace_back(name, entry.modifiedSecs(), entry.size());
    }
    void notice(const WalkNotice &notice) override { debugLine(notice.text()); }

private:
    FileList *m_list;
    QByteArrayView m_prefix;
};

void FileList::scan(const QString &root, const QString &relative)
{
    const QByteArray rel = relative.toUtf8();
    const QByteArray dir = relative.isEmpty() ? root.toUtf8() : root.toUtf8() + '/' + rel;
    DirectoryWalk walk(dir, relative.isEmpty() ? m_excludes : QStringList());
    Collector collector(this, rel);
    m_pathExists = walk.run(collector) == DirectoryWalk::Result::Exact;
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

template <typename Flush>
bool FileList::writeLines(Flush flush) const
{
    constexpr qsizetype Chunk = 1 << 20;
    LocalClock clock;
    QByteArray buffer;
    buffer.reserve(Chunk + 4096);
    for (const FileEntry &entry : m_entries) {
        appendListLine(buffer, entry, clock);
        if (buffer.size() >= Chunk) {
            if (!flush(buffer))
                return false;
            buffer.resize(0);
        }
    }
    return flush(buffer);
}

bool FileList::write(QIODevice &device) const
{
    // A device may take less than it was given, when the disk fills up
    // part-way; writing the rest then brings out the system's reason.
    return writeLines([&device](const QByteArray &data) {
        qsizetype done = 0;
        while (done < data.size()) {
            const qint64 n = device.write(data.constData() + done, data.size() - done);
            if (n <= 0)
                return false;
            done += qsizetype(n);
        }
        return true;
    });
}

bool FileList::save(const QString &fileName) const
{
    const QFileInfo info(fileName);
    const QByteArray name = QFile::encodeName(info.fileName());
    ListFile::Error error;
    const DirectoryReader dir = DirectoryReader::open(info.absolutePath().toUtf8(), &error);
    ListFile file(dir, name.constData());
    const bool saved = !error.isSet() && file.create(name.constData(), &error)
            && writeLines([&file, &error](const QByteArray &data) {
                   return file.write(data.constData(), data.size(), &error);
               })
            && file.finish(&error);
    if (saved) {
        file.keep();
        return false;
    }
    debugLine(QStringLiteral("filelist: cannot write ") + fileName + QStringLiteral(": ")
              + error.text);
    return true;
}
