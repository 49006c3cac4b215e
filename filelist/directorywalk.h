// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "directoryreader.h"
#include "fileentry.h"
#include "walknotice.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QStringList>

#include <memory>

// Takes what a walk meets, in walk order.
class WalkSink
{
public:
    virtual ~WalkSink() = default;
    // The source is open and nothing of it was read yet; false ends the walk
    // as cancelled.
    virtual bool sourceOpened(const DirectoryReader &source)
    {
        Q_UNUSED(source);
        return true;
    }
    // The top level has been read and examined; nothing of it was handed on
    // yet. The source stays open until the walk goes.
    virtual void topLevelRead(const DirectoryReader &source) { Q_UNUSED(source); }
    // The entry's name is valid only during the call.
    virtual void entry(const FileEntry &entry) = 0;
    virtual void notice(const WalkNotice &notice) = 0;
};

// Walks a directory tree in list order: each directory's entries sorted by
// name with letter case ignored, a subdirectory's contents right after its own
// entry. Top-level names in the exclusion list are left out with everything
// below them, with a notice; unlisted ones without. Problems do not stop the
// walk: each is handed on as a notice where it was met, so that every one is
// reported, and walkpolicy.h decides which of them fail the run.
//
// Directories are read ahead by threads of their own (readahead.h,
// workerpool.h); what the sink gets is the same whatever the thread count.
// Only the directories on the current path and a bounded read-ahead are
// held, each level referring to the one above, and the directories stay
// open within the process's descriptor budget (descriptorcache.h): memory and
// descriptors grow with the depth at most, and no path is too long or tree
// too deep.
//
// Threads: run() and the sink's calls happen on one thread, the walk's;
// cancel() may be called from any thread, the sink's calls included.
class DirectoryWalk
{
public:
    enum class Result { Exact, Failed, Cancelled };

    // The most threads a walk reads with, however many are asked for.
    static constexpr int MaxThreads = 64;

    // threads: how many threads read at once, the walk's own included, at
    // most MaxThreads; 0 lets the walk choose, and take more while the
    // storage makes them wait.
    DirectoryWalk(const QByteArray &root, const QStringList &excludes,
                  const QByteArrayList &unlisted = {}, int threads = 1);
    ~DirectoryWalk();
    DirectoryWalk(const DirectoryWalk &) = delete;
    DirectoryWalk &operator=(const DirectoryWalk &) = delete;

    // Exact when every directory could be listed, apart from what the
    // administrator closed; Failed when the tree could not be listed exactly.
    Result run(WalkSink &sink);
    // Stops a run as soon as it can; from any thread.
    void cancel();
    // The same from a signal handler: it only sets the walk's flag, which
    // the walk sees at its next entry, or once the read it waits for is done.
    void cancelFromSignal() noexcept;
    bool isCancelled() const;

private:
    class Private;
    std::unique_ptr<Private> d;
};
