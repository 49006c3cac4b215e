// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "directoryreader.h"

#include <QDebug>

#ifdef Q_OS_WIN
#include <QDir>
#include <QFileInfo>
#else
#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef Q_OS_WIN

DirectoryReader::DirectoryReader(const QString &path) : m_path(path)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isDir())
        return;
    m_status = info.isReadable() ? Status::Listed : Status::Unreadable;
    if (m_status == Status::Unreadable)
        m_error = QStringLiteral("Permission denied");
    m_identity = info.canonicalFilePath().toLower().toUtf8();
}

DirectoryReader::~DirectoryReader() = default;

void DirectoryReader::read(std::vector<Entry> &entries)
{
    const QFileInfoList infos = QDir(m_path).entryInfoList(
            QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo &info : infos) {
        Entry entry;
        entry.name = info.fileName();
        entry.isDirectory = info.isDir();
        if (!entry.isDirectory) {
            entry.modifiedSecs = info.lastModified().toSecsSinceEpoch();
            entry.size = info.size();
        }
        entries.push_back(std::move(entry));
    }
}

#else

namespace {

enum class NameCheck { Fine, LineBreak, NotText };

// Decodes a file name from the local 8-bit encoding (UTF-8 here), refusing
// what could not be written back as the same bytes or would split a line.
NameCheck decodeName(const char *bytes, size_t length, QString *name)
{
    bool ascii = true;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\n' || c == '\r')
            return NameCheck::LineBreak;
        ascii = ascii && c < 0x80;
    }
    if (ascii) {
        *name = QString::fromLatin1(bytes, qsizetype(length));
        return NameCheck::Fine;
    }
    QStringDecoder decoder(QStringDecoder::System,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    *name = decoder.decode(QByteArrayView(bytes, qsizetype(length)));
    return decoder.hasError() ? NameCheck::NotText : NameCheck::Fine;
}

bool isSpecialType(unsigned char type)
{
    return type == DT_FIFO || type == DT_SOCK || type == DT_CHR || type == DT_BLK;
}

} // namespace

DirectoryReader::DirectoryReader(const QString &path) : m_path(path)
{
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) {
        const int error = errno;
        if (error != ENOENT && error != ENOTDIR) {
            m_status = Status::Unreadable;
            m_error = qt_error_string(error);
        }
        return;
    }
    struct stat st;
    if (::fstat(m_fd, &st) != 0) {
        m_status = Status::Unreadable;
        m_error = qt_error_string(errno);
        return;
    }
    m_status = Status::Listed;
    const quint64 id[2] = {quint64(st.st_dev), quint64(st.st_ino)};
    m_identity = QByteArray(reinterpret_cast<const char *>(id), sizeof id);
}

DirectoryReader::~DirectoryReader()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void DirectoryReader::read(std::vector<Entry> &entries)
{
    DIR *dir = m_status == Status::Listed ? ::fdopendir(m_fd) : nullptr;
    if (!dir)
        return;
    const int fd = m_fd;
    m_fd = -1; // closedir() closes it from here on

    for (;;) {
        errno = 0;
        const struct dirent *d = ::readdir(dir);
        if (!d) {
            if (errno != 0) {
                m_status = Status::Unreadable;
                m_error = qt_error_string(errno);
            }
            break;
        }
        if (d->d_name[0] == '.' || isSpecialType(d->d_type))
            continue;

        Entry entry;
        switch (decodeName(d->d_name, std::strlen(d->d_name), &entry.name)) {
        case NameCheck::Fine:
            break;
        case NameCheck::LineBreak:
            qDebug().noquote() << QStringLiteral("filelist: skipping a name with a line break in ")
                            + m_path;
            continue;
        case NameCheck::NotText:
            qDebug().noquote() << QStringLiteral("filelist: skipping a name that is not valid text in ")
                            + m_path;
            continue;
        }

        struct stat st;
        if (::fstatat(fd, d->d_name, &st, 0) != 0) {
            const int error = errno;
            struct stat link;
            if (error == ENOENT && ::fstatat(fd, d->d_name, &link, AT_SYMLINK_NOFOLLOW) == 0
                && S_ISLNK(link.st_mode))
                continue; // a link whose target is missing
            qDebug().noquote() << QStringLiteral("filelist: cannot stat %1/%2: %3")
                                          .arg(m_path, entry.name, qt_error_string(error));
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            entry.isDirectory = true;
        } else if (S_ISREG(st.st_mode)) {
            entry.modifiedSecs = qint64(st.st_mtim.tv_sec);
            entry.size = qint64(st.st_size);
        } else {
            continue;
        }
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
}

#endif
