// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later

// The program's work without its window: walk a directory and put its
// filelist.sync in place, through the same code as the dialog's run.
#include "filelist.h"
#include "listfile.h"
#include "sourcedirectory.h"

#include <QDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    FileList list;
    list.setExcludes(excludedNames());
    list.scan(dir, QString());
    if (!list.pathExists())
        return 1;
    return publishListFile(list, dir + QDir::separator() + QStringLiteral("filelist.sync")) ? 0 : 1;
}
