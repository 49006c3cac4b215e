// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "holdsname.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

bool holdsName(const DirectoryReader &dir, const QByteArray &name, bool *holds,
               SystemError *error)
{
    struct stat st;
    *holds = ::fstatat(int(dir.nativeHandle()), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (*holds || errno == ENOENT)
        return true;
    *error = SystemError::last();
    return false;
}
