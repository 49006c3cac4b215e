// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "changesfile.h"

namespace {

constexpr qsizetype Chunk = 64 * 1024;

// A text for administrators: the platform's own line end.
#ifdef Q_OS_WIN
constexpr char LineEnd[] = "\r\n";
#else
constexpr char LineEnd[] = "\n";
#endif

qsizetype lastSeparator(const QByteArray &path)
{
#ifdef Q_OS_WIN
    return qMax(path.lastIndexOf('/'), path.lastIndexOf('\\'));
#else
    return path.lastIndexOf('/');
#endif
}

} // namespace

ChangesFile::ChangesFile(const QByteArray &path)
{
    const qsizetype at = lastSeparator(path);
    // "/name" is in the root; "name" in the working directory.
    m_directory = at < 0 ? QByteArray(".") : path.left(qMax<qsizetype>(at, 1));
    m_name = path.mid(at + 1);
    m_newName = m_name + ".new";
}

// The file goes before the directory it was made in is closed.
ChangesFile::~ChangesFile()
{
    m_file.reset();
}

bool ChangesFile::openDirectory(Error *error)
{
    if (!m_dir.isOpen())
        m_dir = DirectoryReader::open(m_directory, error);
    return m_dir.isOpen();
}

bool ChangesFile::create(Error *error)
{
    if (!openDirectory(error))
        return false;
    m_file.emplace(m_dir, m_newName.constData());
    qint64 replacedSize = 0;
    if (m_file->create(m_name.constData(), &replacedSize, error)) {
        m_buffer.reserve(Chunk + 4096);
        return true;
    }
    m_file.reset();
    return false;
}

void ChangesFile::add(char kind, QByteArrayView name)
{
    if (m_failed)
        return;
    m_buffer.append(kind).append(' ').append(name).append(LineEnd);
    if (m_buffer.size() >= Chunk)
        flush();
}

bool ChangesFile::flush()
{
    if (!m_failed && !m_file->write(m_buffer.constData(), m_buffer.size(), &m_error)) {
        m_failed = true;
        m_file.reset();
    }
    m_buffer.resize(0);
    return !m_failed;
}

bool ChangesFile::commit(Error *error)
{
    if (!flush() || !m_file->finish(&m_error) || !m_file->renameTo(m_name.constData(), &m_error)) {
        *error = m_error;
        m_failed = true;
        m_file.reset();
        return false;
    }
    m_file.reset();
    return true;
}

bool ChangesFile::removeOld(Error *error)
{
    return openDirectory(error) && ListFile::removeFile(m_dir, m_name.constData(), error);
}
