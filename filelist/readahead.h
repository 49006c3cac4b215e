// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "directoryjob.h"
#include "readaheadoffers.h"

#include <QByteArrayList>

#include <memory>
#include <vector>

class DescriptorCache;
class WorkerPool;

// Which directories are read, when and where: once a directory is read, its
// subdirectories are read ahead by the workers, soonest needed first, within
// a budget, so that the walk rarely waits; a directory the walk needs that
// nobody started is read here and now. A job goes out only with a descriptor
// reserved for it and its parent pinned; both come back with the job.
//
// Threads: the walk's thread alone uses all of it: the offers, the budget,
// the jobs' scheduling and the cache. Workers only read the jobs in the
// pool's one queue (workerpool.h). Invariants:
// - every job asked for ahead and not yet taken by the walk is among the
//   children of its owner, and is Out (in the pool, holding one reservation
//   and a pin of its parent) or Done (counted in m_held and m_heldEntries);
//   a dropped one is in the pool alone, and goes once it is back;
// - the walk's thread waits in one place, awaitWorkers(), and only while a
//   worker reads a job; otherwise it reads what it needs itself;
// - at the end of a walk that was not cancelled nothing is held, offered or
//   out but dropped jobs; after stop() nothing is out and nothing reserved.
class ReadAhead
{
public:
    // Without a pool (one thread, or none could start) every directory is
    // read here when the walk needs it.
    ReadAhead(DescriptorCache &cache, const ReadContext &context, WorkerPool *pool,
              QByteArrayList topLevelSkipped);
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
    // The walk will not enter job, which it took: what was asked for below
    // it goes.
    void drop(DirectoryJob &job);
    // Takes back what the workers read meanwhile and asks for more; cheap
    // when nothing was read.
    void poll();
    // Stops the workers and gives back what every job out holds. True when
    // every job asked for ahead had been taken or dropped: nothing was held,
    // offered, or out but dropped jobs.
    bool stop();

private:
    bool cancelled() const;
    std::shared_ptr<DirectoryJob> makeChild(DirectoryJob &owner, size_t entry) const;
    // Reads a New job here.
    void readHere(DirectoryJob &job, const std::shared_ptr<DirectoryNode> &left);
    // Reserves a descriptor to read here; false when the walk was cancelled.
    bool reserveHere();
    // Until the job, which a worker reads, is back.
    void awaitRead(DirectoryJob &job);
    // The one wait: until a worker has read a job, which it takes back,
    // helping with shared entries meanwhile. False at once when no worker
    // reads anything: nothing could end a wait.
    bool awaitWorkers();
    // On a fast disk, reads the first job nobody started here rather than
    // wait; false when there is none to read so.
    bool readQueuedHere();
    // Takes back every job the workers read; false when there was none.
    bool collect();
    // A job out is back, read.
    void finish(const std::shared_ptr<DirectoryJob> &job);
    // Hands a read job's directory to the cache, or gives its descriptor back.
    void settleDescriptors(DirectoryJob &job);
    // Gives back what a job out holds, once it is no longer out.
    void release(DirectoryJob &job);
    // An ahead job no longer asked for: its owner may ask for it again.
    void unschedule(const std::shared_ptr<DirectoryJob> &job);
    // An ahead job the walk will never take, with what was asked below it.
    void discard(const std::shared_ptr<DirectoryJob> &job);
    void addOffer(const std::shared_ptr<DirectoryJob> &owner);
    void fill();
    // Asks for owner's next subdirectory; false when no descriptor is left.
    bool dispatch(const std::shared_ptr<DirectoryJob> &owner);

    DescriptorCache &m_cache;
    const ReadContext &m_context;
    WorkerPool *const m_pool;
    ReadAheadOffers m_offers;
    std::vector<std::shared_ptr<DirectoryJob>> m_back; // collected, not yet finished
    size_t m_held = 0;        // asked for ahead, read, not yet taken by the walk
    size_t m_heldEntries = 0; // entries of those
};
