// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later

// The program's work without its window: walk a directory and put its
// filelist.sync in place, through the same run as the dialog's.
#include "listrun.h"
#include "messages.h"
#include "programrules.h"
#include "sourcedirectory.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    QString problem;
    const std::optional<RunSettings> settings = runSettings(&problem);
    if (!settings) {
        debugLine(problem);
        return 2;
    }
    return ListRun(argv[1], walkThreads(), *settings).run() == ListRun::Outcome::Saved ? 0 : 1;
}
