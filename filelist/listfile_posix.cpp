// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "listfile.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int dirFd(const DirectoryReader &dir)
{
    return int(dir.nativeHandle());
}

} // namespace

ListFile::ListFile(const DirectoryReader &dir, const char *name) : m_dir(dir), m_name(name) { }

ListFile::~ListFile()
{
    if (m_native >= 0)
        ::close(int(m_native));
    if (m_created)
        remove();
}

void ListFile::remove()
{
    ::unlinkat(dirFd(m_dir), m_name, 0);
}

bool ListFile::create(const char *replacing, qint64 *replacedSize, Error *error)
{
    // Whatever an earlier run or someone else left at the name, a link
    // included, goes; O_EXCL then never follows a link.
    if (::unlinkat(dirFd(m_dir), m_name, 0) != 0 && errno != ENOENT && errno != EISDIR) {
        *error = SystemError::last();
        return false;
    }
    struct stat old;
    const bool found = ::fstatat(dirFd(m_dir), replacing, &old, AT_SYMLINK_NOFOLLOW) == 0;
    // A list whose mode and owner cannot be told is not replaced by one
    // clients might not be able to read.
    if (!found && errno != ENOENT) {
        *error = SystemError::last();
        return false;
    }
    const bool replaces = found && S_ISREG(old.st_mode);
    *replacedSize = replaces ? qint64(old.st_size) : -1;
    const int fd = ::openat(dirFd(m_dir), m_name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                            replaces ? (old.st_mode & 07777) : 0666);
    if (fd < 0) {
        *error = SystemError::last();
        return false;
    }
    m_native = fd;
    m_created = true;
    if (replaces) {
        // Clients must keep their access to the list: the old list's owner
        // and mode, the mode set outright since the umask narrowed it. Only a
        // privileged process may give a file away, so a failed chown is
        // expected and the file stays the writer's.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0)
            (void)::fchown(fd, uid_t(-1), old.st_gid);
        if (::fchmod(fd, old.st_mode & 07777) != 0) {
            *error = SystemError::last();
            return false;
        }
    }
    return true;
}

bool ListFile::write(const char *data, qsizetype size, Error *error)
{
    while (size > 0) {
        const ssize_t n = ::write(int(m_native), data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = SystemError::last();
            return false;
        }
        // Nothing written, and no reason given: trying again would loop.
        if (n == 0) {
            *error = SystemError::fromCode(EIO);
            return false;
        }
        data += n;
        size -= qsizetype(n);
    }
    return true;
}

bool ListFile::finish(Error *error)
{
    const int fd = int(m_native);
    m_native = -1;
    const bool synced = ::fsync(fd) == 0;
    const int syncError = errno;
    if (::close(fd) != 0 && synced) {
        *error = SystemError::last();
        return false;
    }
    if (!synced)
        *error = SystemError::fromCode(syncError);
    return synced;
}

bool ListFile::renameTo(const char *name, Error *error)
{
    if (::renameat(dirFd(m_dir), m_name, dirFd(m_dir), name) != 0) {
        *error = SystemError::last();
        return false;
    }
    m_created = false;
    return true;
}

bool ListFile::syncDirectory(Error *error)
{
    if (::fsync(dirFd(m_dir)) == 0)
        return true;
    // Some file systems cannot sync a directory, and need not: what they
    // have is on the disk, or on the server, once the call returns.
    if (errno == EINVAL || errno == ENOTSUP)
        return true;
    *error = SystemError::last();
    return false;
}

bool ListFile::removeFile(const DirectoryReader &dir, const char *name, Error *error)
{
    if (::unlinkat(dirFd(dir), name, 0) == 0 || errno == ENOENT)
        return true;
    *error = SystemError::last();
    return false;
}
