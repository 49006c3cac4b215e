// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArrayView>
#include <QString>

// One listed file or directory: its path relative to the walked directory
// ("/"-separated), its last-modification time and its size. A directory
// carries no time and size 0. The walk hands on millions of these, so the
// entry is small: the path is UTF-8 and points into storage that the caller
// keeps alive; the time is seconds since the epoch, turned into local time
// only when the line is written.
class FileEntry
{
public:
    explicit FileEntry(QByteArrayView utf8Name)
        : m_name(utf8Name.data()), m_nameSize(qint32(utf8Name.size())), m_directory(true)
    {
    }
    FileEntry(QByteArrayView utf8Name, qint64 modifiedSecs, qint64 size)
        : m_name(utf8Name.data()), m_modified(modifiedSecs), m_size(size),
          m_nameSize(qint32(utf8Name.size()))
    {
    }

    QString name() const { return QString::fromUtf8(utf8Name()); }
    QByteArrayView utf8Name() const { return QByteArrayView(m_name, m_nameSize); }
    bool isDirectory() const { return m_directory; }
    qint64 modifiedSecs() const { return m_modified; }
    qint64 size() const { return m_size; }

private:
    const char *m_name;
    qint64 m_modified = 0;
    qint64 m_size = 0;
    qint32 m_nameSize;
    bool m_directory = false;
};
