// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "directoryreader.h"

#include <QDebug>

#ifdef Q_OS_WIN
#include <QDir>
#include <QFileInfo>
#else
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef Q_OS_WIN

DirectoryReader::DirectoryReader(const QByteArray &path, const DirectoryReader *, QByteArrayView)
    : m_path(path)
{
    const QFileInfo info(QString::fromUtf8(path));
    if (!info.exists() || !info.isDir())
        return;
    m_status = info.isReadable() ? Status::Listed : Status::Unreadable;
    if (m_status == Status::Unreadable)
        m_error = QStringLiteral("Permission denied");
    m_identity = info.canonicalFilePath().toLower().toUtf8();
}

DirectoryReader::~DirectoryReader() = default;

void DirectoryReader::release() { }

void DirectoryReader::read(std::vector<Entry> &entries)
{
    const QFileInfoList infos = QDir(QString::fromUtf8(m_path))
                                        .entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot,
                                                       QDir::Unsorted);
    for (const QFileInfo &info : infos) {
        const QByteArray name = info.fileName().toUtf8();
        Entry entry;
        entry.nameStart = m_names.size();
        entry.nameSize = name.size();
        m_names += name;
        m_names += '\0';
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

void debugLine(const QString &text)
{
    qDebug().noquote() << text;
}

// Whether a file name can be a list line: no CR or LF to split it, and valid
// text in the local 8-bit encoding (UTF-8 here), so that it is written back
// as the same bytes.
bool checkName(const char *name, size_t length, const QByteArray &dir)
{
    bool ascii = true;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c == '\n' || c == '\r') {
            debugLine(QStringLiteral("filelist: skipping a name with a line break in ")
                      + QString::fromUtf8(dir));
            return false;
        }
        ascii = ascii && c < 0x80;
    }
    if (ascii)
        return true;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    // Decoding only to learn whether the bytes are valid; the name stays as bytes.
    const QString decoded = decoder.decode(QByteArrayView(name, qsizetype(length)));
    if (!decoder.hasError())
        return true;
    debugLine(QStringLiteral("filelist: skipping a name that is not valid text in ")
              + QString::fromUtf8(dir));
    return false;
}

// Looks at one name that the directory listing returned.
void addEntry(int dirFd, const char *name, unsigned char type, const QByteArray &dir,
              std::vector<DirectoryReader::Entry> &entries, QByteArray &names)
{
    if (name[0] == '.' || type == DT_FIFO || type == DT_SOCK || type == DT_CHR || type == DT_BLK)
        return;
    const size_t length = std::strlen(name);
    if (!checkName(name, length, dir))
        return;

    struct stat st;
    if (::fstatat(dirFd, name, &st, 0) != 0) {
        const int error = errno;
        struct stat link;
        if (error == ENOENT && ::fstatat(dirFd, name, &link, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISLNK(link.st_mode))
            return; // a link whose target is missing
        debugLine(QStringLiteral("filelist: cannot stat %1/%2: %3")
                          .arg(QString::fromUtf8(dir), QString::fromUtf8(name),
                               qt_error_string(error)));
        return;
    }
    DirectoryReader::Entry entry;
    if (S_ISDIR(st.st_mode)) {
        entry.isDirectory = true;
    } else if (S_ISREG(st.st_mode)) {
        entry.modifiedSecs = qint64(st.st_mtim.tv_sec);
        entry.size = qint64(st.st_size);
    } else {
        return;
    }
    entry.nameStart = names.size();
    entry.nameSize = qsizetype(length);
    names.append(name, qsizetype(length) + 1); // with its NUL, for openat()
    entries.push_back(entry);
}

} // namespace

DirectoryReader::DirectoryReader(const QByteArray &path, const DirectoryReader *parent,
                                 QByteArrayView name)
    : m_path(path)
{
    constexpr int Flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    const bool viaParent = parent && parent->m_fd >= 0;
    if (viaParent)
        m_fd = ::openat(parent->m_fd, name.data(), Flags);
    // Without a parent, or when the process runs out of descriptors.
    if (!viaParent || (m_fd < 0 && (errno == EMFILE || errno == ENFILE)))
        m_fd = ::open(path.constData(), Flags);
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
    release();
}

void DirectoryReader::release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

#ifdef Q_OS_LINUX

// getdents64() reads straight into a buffer of ours; fdopendir() would cost
// a stat and two fcntl calls more for every directory.
void DirectoryReader::read(std::vector<Entry> &entries)
{
    if (m_status != Status::Listed)
        return;
    alignas(struct dirent64) char buffer[32768];
    for (;;) {
        const ssize_t n = ::getdents64(m_fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_status = Status::Unreadable;
            m_error = qt_error_string(errno);
            break;
        }
        for (ssize_t offset = 0; offset < n;) {
            const auto *d = reinterpret_cast<const struct dirent64 *>(buffer + offset);
            offset += d->d_reclen;
            addEntry(m_fd, d->d_name, d->d_type, m_path, entries, m_names);
        }
    }
}

#else

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
        addEntry(fd, d->d_name, d->d_type, m_path, entries, m_names);
    }
    ::closedir(dir);
}

#endif
#endif
