// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "directoryreader.h"
#include "walknotice.h"

#include <QByteArray>
#include <QStringList>

#include <atomic>
#include <memory>

class FileEntry;

// Takes what a walk meets, in walk order.
class WalkSink
{
public:
    virtual ~WalkSink() = default;
    // The top level has been read and examined; nothing of it was handed on yet.
    virtual void topLevelRead(const DirectoryReader &root) { Q_UNUSED(root); }
    // The entry's name is valid only during the call.
    virtual void entry(const FileEntry &entry) = 0;
    virtual void notice(const WalkNotice &notice) = 0;
};

// Walks a directory tree in list order: each directory's entries sorted by
// name with letter case ignored, a subdirectory's contents right after its own
// entry. Top-level names in the exclusion list are left out with everything
// below them. Problems do not stop the walk: each is handed on as a notice
// where it was met, so that every one is reported.
//
// Directories are read ahead by a pool of threads when more than one is
// asked for; what the sink gets is the same whatever the thread count. Only
// the directories on the current path and a bounded read-ahead are held, and
// only so many of them keep a descriptor open: a directory whose descriptor
// was given up is reopened from its nearest open ancestor, one name at a
// time, so no path is ever too long to open.
class DirectoryWalk
{
public:
    enum class Result { Exact, Failed, Cancelled };

    DirectoryWalk(const QByteArray &root, const QStringList &excludes, int threads = 1);
    ~DirectoryWalk();
    DirectoryWalk(const DirectoryWalk &) = delete;
    DirectoryWalk &operator=(const DirectoryWalk &) = delete;

    // Exact when every directory could be listed, apart from what the
    // administrator closed; Failed when the tree could not be listed exactly.
    Result run(WalkSink &sink);
    // Stops a run from another thread as soon as it can.
    void cancel();

private:
    class Private;
    std::unique_ptr<Private> d;
};
