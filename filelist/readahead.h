// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "directoryjob.h"

#include <QByteArrayList>

#include <memory>
#include <set>
#include <vector>

class DescriptorCache;
class WorkerPool;

// Which directories are read, when and where: once a directory is read, its
// subdirectories are read ahead by the workers, soonest needed first, within
// a bound of their own, so that the walk rarely waits; a directory the walk
// needs that nobody started is read here and now. A job is handed to a
// worker only with a descriptor reserved for it and its parent pinned; both
// come back when the walk takes the job back.
//
// Threads: the walk's thread alone uses all of it: the queue of jobs not yet
// handed out, the offers, the budget, the jobs' scheduling and the cache.
// Workers only read the jobs handed to them (workerpool.h).
class ReadAhead
{
public:
    // Without a pool in the context (one thread) every directory is read
    // here when the walk needs it.
    ReadAhead(DescriptorCache &cache, const ReadContext &context, QByteArrayList topLevelSkipped);
    ~ReadAhead();
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // Reads the source, open as source, here.
    void readSource(DirectoryJob &job, const DirectoryReader &source);
    // The subdirectory at entry of owner, a directory on the walk's path,
    // read: ahead by a worker or here and now. Not Done when the walk was
    // cancelled. left: the directory the walk came back from, which may
    // still be open.
    std::shared_ptr<DirectoryJob> take(const std::shared_ptr<DirectoryJob> &owner, size_t entry,
                                       const std::shared_ptr<DirectoryNode> &left);
    // owner, read and on the walk's path, may have its subdirectories read
    // ahead; withdraw() stops that once the walk leaves it.
    void offer(const std::shared_ptr<DirectoryJob> &owner);
    void withdraw(DirectoryJob &owner);
    // Takes back what the workers read meanwhile and hands out more; cheap
    // when nothing was read.
    void poll();
    // Stops the workers and drops every job not taken by the walk.
    void stop();

private:
    struct ByNextPlace {
        bool operator()(const std::shared_ptr<DirectoryJob> &a,
                        const std::shared_ptr<DirectoryJob> &b) const;
    };

    bool cancelled() const;
    std::shared_ptr<DirectoryJob> makeChild(DirectoryJob &owner, size_t entry) const;
    bool isSkipped(const DirectoryJob &owner, size_t entry) const;
    // Reads a job here, waiting for descriptors the workers hold if need be.
    void readHere(DirectoryJob &job, const std::shared_ptr<DirectoryNode> &left);
    // Waits until the job a worker reads is back, doing other work meanwhile.
    void waitFor(DirectoryJob &job);
    // Waits until any job handed out is back.
    void awaitAny();
    // Reads the job needed soonest among those no worker started, here, when
    // the storage is fast; false when there is none to read so.
    bool readWaitingHere();
    // Takes back every job the workers read.
    void takeBack();
    // A job read ahead, by a worker or here: done, or to be read again when
    // the system ran out of descriptors.
    void finishAhead(const std::shared_ptr<DirectoryJob> &job);
    // Hands a read job's directory to the cache, or gives its descriptor back.
    void settleDescriptors(DirectoryJob &job);
    void addOffer(const std::shared_ptr<DirectoryJob> &owner);
    void fill();
    void handOut();
    // Undoes handing out a job the pool gave back unstarted.
    void reclaimed(DirectoryJob &job);
    // Takes a job nobody started back from the read-ahead.
    void unschedule(const std::shared_ptr<DirectoryJob> &job);

    DescriptorCache &m_cache;
    const ReadContext &m_context;
    WorkerPool *const m_pool;
    const QByteArrayList m_topLevelSkipped;

    // Jobs asked for and not yet handed out, soonest needed first.
    std::set<std::shared_ptr<DirectoryJob>, JobsByPlace> m_waiting;
    // Read directories with subdirectories not yet asked for, by the place of
    // the next one; bounded, as each comparison walks up the tree.
    std::set<std::shared_ptr<DirectoryJob>, ByNextPlace> m_offers;
    std::vector<std::shared_ptr<DirectoryJob>> m_back; // taken back from the workers
    size_t m_out = 0;         // handed out and not taken back
    size_t m_ahead = 0;       // asked for ahead and not yet taken by the walk
    size_t m_held = 0;        // of those, read
    size_t m_heldEntries = 0; // entries of those read
};
