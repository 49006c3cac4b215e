// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "runlock.h"

#include <cerrno>
#include <sys/file.h>

// flock() on the walked directory's own descriptor: it needs no file of its
// own in the tree, and a deploy that swaps another directory in at the path
// meets no lock there. Some network file systems cannot lock a directory
// (NFS wants an exclusive lock's file open for writing: EBADF; others say
// ENOLCK or EOPNOTSUPP); there the lock is unavailable.

RunLock::~RunLock()
{
    if (m_taken)
        ::flock(int(m_native), LOCK_UN);
}

RunLock::State RunLock::tryTake(const DirectoryReader &dir, SystemError *error)
{
    const int fd = int(dir.nativeHandle());
    int result;
    do
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result == 0) {
        m_native = fd;
        m_taken = true;
        return State::Taken;
    }
    if (errno == EWOULDBLOCK)
        return State::Held;
    *error = SystemError::last();
    return State::Unavailable;
}
