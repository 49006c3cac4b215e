// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "previouslist.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Only a regular file is a list: a link is not followed (the new list
// replaces the link, not what it leads to), and a FIFO is never waited on.
bool PreviousList::open(const DirectoryReader &dir, const char *name, Error *error)
{
    close();
    const int fd = ::openat(int(dir.nativeHandle()), name,
                            O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        *error = errno == ELOOP ? Error::fromCode(ENOENT) : Error::last();
        return false;
    }
    struct stat st;
    const bool looked = ::fstat(fd, &st) == 0;
    if (!looked || !S_ISREG(st.st_mode)) {
        *error = looked ? Error::fromCode(ENOENT) : Error::last();
        ::close(fd);
        return false;
    }
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    m_native = fd;
    return true;
}

void PreviousList::close()
{
    if (m_native >= 0)
        ::close(int(m_native));
    m_native = -1;
}

qint64 PreviousList::readSome(char *into, qint64 size)
{
    for (;;) {
        const ssize_t n = ::read(int(m_native), into, size_t(size));
        if (n >= 0)
            return qint64(n);
        if (errno != EINTR) {
            m_error = Error::last();
            return -1;
        }
    }
}
