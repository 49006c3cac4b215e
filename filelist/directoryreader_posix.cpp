// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "directoryreader.h"

#include <QStringDecoder>

#include <optional>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int DirectoryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

DirectoryReader::Identity identityOf(const struct stat &st)
{
    return {quint64(st.st_dev), quint64(st.st_ino)};
}

// Why a file name cannot be a list line: a CR or LF would split it, and
// bytes that are not UTF-8, the list's encoding here, would not be written
// back as the same name. None when it can; decoded then holds the name as
// UTF-16 unless it is pure ASCII.
std::optional<WalkNotice::Kind> unlistable(QByteArrayView name, QString *decoded)
{
    bool ascii = true;
    for (const char c : name) {
        if (c == '\n' || c == '\r')
            return WalkNotice::Kind::LineBreak;
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    if (ascii)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    *decoded = decoder.decode(name);
    if (decoder.hasError())
        return WalkNotice::Kind::NotText;
    return std::nullopt;
}

// Takes one name that the directory listing returned; false when the
// listing can take no more.
bool addName(const char *name, unsigned char type, DirectoryReader::Listing *listing)
{
    if (name[0] == '.' || type == DT_FIFO || type == DT_SOCK || type == DT_CHR || type == DT_BLK)
        return true;
    const QByteArrayView utf8(name, qsizetype(std::strlen(name)));
    QString decoded;
    if (const std::optional<WalkNotice::Kind> why = unlistable(utf8, &decoded)) {
        listing->problems.push_back({*why, {}, {}, {}});
        return true;
    }
    DirectoryReader::Entry entry;
    // A directory's line has neither time nor size: nothing to look at.
    if (type == DT_DIR)
        entry.kind = DirectoryReader::Entry::Kind::Directory;
    else if (type == DT_LNK || type == DT_UNKNOWN)
        entry.flags = DirectoryReader::Entry::Link;
    return listing->add(utf8, decoded, entry);
}

} // namespace

DirectoryReader DirectoryReader::open(const QByteArray &path, Error *error)
{
    DirectoryReader reader = adopt(::open(path.constData(), DirectoryFlags), error);
    reader.m_openedAs = path;
    return reader;
}

DirectoryReader DirectoryReader::openChild(const DirectoryReader &parent, QByteArrayView relative,
                                           Error *error)
{
    return adopt(::openat(int(parent.m_native), relative.data(), DirectoryFlags), error);
}

DirectoryReader DirectoryReader::adopt(int fd, Error *error)
{
    DirectoryReader reader;
    if (fd < 0) {
        *error = Error::last();
        return reader;
    }
    reader.m_native = fd;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        *error = Error::last();
        reader.close();
        return reader;
    }
    *error = {};
    reader.m_identity = identityOf(st);
    return reader;
}

std::vector<DirectoryReader::Ancestor> DirectoryReader::ancestors() const
{
    std::vector<Ancestor> found;
    char *resolved = ::realpath(m_openedAs.constData(), nullptr);
    if (!resolved)
        return found;
    QByteArray path(resolved);
    std::free(resolved);
    while (path.size() > 1) {
        const qsizetype slash = path.lastIndexOf('/');
        path.truncate(qMax<qsizetype>(slash, 1));
        struct stat st;
        if (::stat(path.constData(), &st) == 0)
            found.push_back({identityOf(st), path});
    }
    return found;
}

int DirectoryReader::descriptorLimit()
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 1024;
    return int(qMin<rlim_t>(limit.rlim_cur, 1 << 20));
}

void DirectoryReader::close()
{
    if (m_native >= 0)
        ::close(int(m_native));
    m_native = -1;
}

#ifdef Q_OS_LINUX

// getdents64() reads straight into a buffer of ours; fdopendir() would cost
// a stat and two fcntl calls more for every directory.
void DirectoryReader::readNames(Listing *listing) const
{
    const int fd = int(m_native);
    alignas(struct dirent64) char buffer[32768];
    for (;;) {
        const ssize_t n = ::getdents64(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            listing->readError = Error::last();
            break;
        }
        for (ssize_t offset = 0; offset < n;) {
            const auto *d = reinterpret_cast<const struct dirent64 *>(buffer + offset);
            offset += d->d_reclen;
            if (!addName(d->d_name, d->d_type, listing))
                return;
        }
    }
}

#else

void DirectoryReader::readNames(Listing *listing) const
{
    // readdir() needs a stream of its own, which owns its descriptor.
    const int fd = ::openat(int(m_native), ".", DirectoryFlags);
    DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        listing->readError = Error::last();
        if (fd >= 0)
            ::close(fd);
        return;
    }
    for (;;) {
        errno = 0;
        const struct dirent *d = ::readdir(dir);
        if (!d) {
            if (errno != 0)
                listing->readError = Error::last();
            break;
        }
        if (!addName(d->d_name, d->d_type, listing))
            break;
    }
    ::closedir(dir);
}

#endif

void DirectoryReader::lookAt(Listing *listing, size_t from, size_t to) const
{
    const int fd = int(m_native);
    // Other threads look at other entries: no copy of the list is made.
    Entry *const entries = listing->entries.data();
    for (size_t i = from; i < to; ++i) {
        Entry &entry = entries[i];
        if (entry.kind != Entry::Kind::ToLookAt)
            continue;
        const char *name = listing->name(entry).data();
        struct stat st;
        if (::fstatat(fd, name, &st, 0) != 0) {
            const int error = errno;
            struct stat link;
            if (error == ENOENT && ::fstatat(fd, name, &link, AT_SYMLINK_NOFOLLOW) == 0
                && S_ISLNK(link.st_mode)) {
                entry.kind = Entry::Kind::Left; // a link whose target is missing
            } else {
                entry.kind = Entry::Kind::CannotStat;
                entry.error = error;
            }
        } else if (S_ISDIR(st.st_mode)) {
            entry.kind = Entry::Kind::Directory;
        } else if (S_ISREG(st.st_mode)) {
            entry.kind = Entry::Kind::File;
            entry.modifiedSecs = qint64(st.st_mtim.tv_sec);
            entry.size = qint64(st.st_size);
        } else {
            entry.kind = Entry::Kind::Left;
        }
    }
}
