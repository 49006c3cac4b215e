// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "filesystemroot.h"

#include <sys/stat.h>

bool isFileSystemRoot(const QByteArray &path)
{
    struct stat self = {};
    struct stat parent = {};
    const QByteArray up = path + "/..";
    return ::stat(path.constData(), &self) == 0 && S_ISDIR(self.st_mode)
            && ::stat(up.constData(), &parent) == 0 && self.st_dev == parent.st_dev
            && self.st_ino == parent.st_ino;
}
