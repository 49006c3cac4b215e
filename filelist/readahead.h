// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "descriptorcache.h"
#include "directoryreader.h"

#include <QByteArrayList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

class BriefLock;

// Reading one directory: opening it below its parent, listing its names,
// looking at each entry and sorting them into list order. It is done ahead
// by a worker or when the walk needs it, by one thread, while its entries
// may be looked at by several.
struct DirectoryJob {
    enum class State {
        Pending,   // waiting for a worker or the walk
        Running,
        Done,
        Abandoned, // a worker found no descriptor: the walk does it itself
    };

    explicit DirectoryJob(std::shared_ptr<DirectoryNode> directory) : node(std::move(directory)) { }

    const std::shared_ptr<DirectoryNode> node;

    // What reading gave, written by the thread that runs it, read by others
    // once it is done.
    DirectoryReader::Error error; // the directory could not be opened
    int leadsBackTo = -1; // the depth of the directory above that it is, if any
    int leadsOutside = -1; // or the index of the one above the source
    DirectoryReader::Listing listing;

    // Looking at entries, shared out in chunks: nextEntry is the first one
    // nobody took yet, looked the number finished, of count.
    const DirectoryReader *reader = nullptr;
    size_t count = 0;
    std::atomic<size_t> nextEntry{0};
    std::atomic<size_t> looked{0};

    // Guarded by the read-ahead's lock.
    State state = State::Pending;
    bool ahead = false;       // asked of the workers before the walk got there
    DirectoryJob *owner = nullptr; // the directory it was asked for from, while it is Pending
    bool sharing = false;     // its entries are offered to the workers
    std::vector<std::shared_ptr<DirectoryJob>> children; // read ahead, by entry
    size_t scheduled = 0;     // the first entry the read-ahead may still ask for
    bool offered = false;     // waiting to have its subdirectories read ahead
};

// The threads that read directories, and the read-ahead that keeps them
// busy: once a directory is read, its subdirectories are read ahead, soonest
// needed first, within a bound of their own, so that the walk rarely waits.
// Each directory's entries are looked at in chunks that any idle thread
// takes, so that the entries of one directory are looked at in parallel on
// storage that makes each look wait.
//
// With a fixed thread count (more than zero), that many threads read, the
// walk's own included. Otherwise the pool starts small and grows, up to the
// most it may have, while the storage makes it wait: on a fast disk a few
// threads cost less than many; on a share every request waits for a server,
// and many must be in flight to hide that.
//
// Threading, checked with Q_ASSERT where it can be:
// - m_lock guards every job's scheduling fields (state, ahead, sharing,
//   children, scheduled, offered), the queue, the offers and the workers; it
//   is never held while the cache's own lock is taken, or a system call made.
// - A job's results are written by the one thread that runs it (state
//   Running: a worker, or the walk's thread) and read by others only once
//   they saw it Done under m_lock.
// - Its entries are looked at in chunks, each by the thread that took it from
//   nextEntry; the job's thread reads them once looked counts every chunk
//   taken, and closes nextEntry first, so that none is taken after.
// - A job in the offers is alive: the walk withdraws a directory before it
//   lets go of it, and stop() empties the offers before the walk's levels go.
// - Nodes never change once made, but for their identity, which the thread
//   that opens one writes before anyone can look at its children.
class ReadAhead
{
public:
    // threads: as many as asked for (0: as many as help, up to maxThreads).
    ReadAhead(DescriptorCache &cache, std::vector<DirectoryReader::Ancestor> outside,
              QByteArrayList topLevelSkipped, int threads, int maxThreads);
    ~ReadAhead();
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // Starts the workers; a thread that cannot start means fewer of them.
    void start();
    // Reads the source here, its entries shared with the workers.
    void readSource(const std::shared_ptr<DirectoryJob> &job, const DescriptorCache::Pin &source);
    // The subdirectory at entry of owner, a directory on the walk's path,
    // read: ahead by a worker or here and now.
    // left: the directory the walk came back from, which may still be open.
    std::shared_ptr<DirectoryJob> take(DirectoryJob &owner, size_t entry,
                                       const std::shared_ptr<DirectoryNode> &left = {});
    // owner, read and on the walk's path, may have its subdirectories read
    // ahead; withdraw() stops that once the walk leaves it.
    void offer(DirectoryJob &owner);
    void withdraw(DirectoryJob &owner);
    // Stops the workers as soon as they can; a walk that waits returns.
    void cancel();
    void stop();
    // A worker ran out of memory: the walk cannot be trusted.
    bool ranOutOfMemory() const { return m_outOfMemory; }

private:
    struct ByPlace {
        bool operator()(const std::shared_ptr<DirectoryJob> &a,
                        const std::shared_ptr<DirectoryJob> &b) const;
    };
    struct ByNextPlace {
        bool operator()(const DirectoryJob *a, const DirectoryJob *b) const;
    };

    // Opens, lists and looks at a job's directory on this thread; memory
    // running out is the job's error.
    void perform(const std::shared_ptr<DirectoryJob> &job,
                 const std::shared_ptr<DirectoryNode> &left = {});
    // Looks at a job's entries read from reader, and sorts them.
    void list(const std::shared_ptr<DirectoryJob> &job, const DirectoryReader &reader);
    // Looks at a read job's entries, sharing them with idle threads.
    void lookAtAll(const std::shared_ptr<DirectoryJob> &job);
    // Takes chunks of a job's entries until none is left.
    void help(DirectoryJob &job);
    bool leadsBack(DirectoryJob &job) const;
    // One step of looking at the storage, timed to learn whether it waited.
    class Step
    {
    public:
        explicit Step(ReadAhead *readAhead);
        void done(size_t entries) const;

    private:
        ReadAhead *m_readAhead; // null when nothing is to be learnt: one thread
        std::chrono::steady_clock::time_point m_start;
    };
    void noteCheck(bool waited);
    // Starts one more worker; false when it cannot.
    bool startWorkerLocked();
    // Starts more workers while work waits for them.
    void growLocked();
    // Whether work is spread thin over many threads, as slow storage wants.
    bool spreading() const;
    size_t chunkSize() const;
    bool isSkipped(const DirectoryJob &owner, size_t entry) const;
    // With m_lock held.
    void offerLocked(DirectoryJob &owner);
    void withdrawLocked(DirectoryJob &owner);
    void fillLocked();
    // Takes a job nobody started back from the read-ahead.
    void unscheduleLocked(const std::shared_ptr<DirectoryJob> &job);
    void finishLocked(DirectoryJob &job);
    void waitLocked(BriefLock &lock, const std::shared_ptr<DirectoryJob> &job);
    // Runs a job on the walk's thread, where a want of descriptors first
    // makes the read-ahead let go of its own.
    void runHere(BriefLock &lock, const std::shared_ptr<DirectoryJob> &job,
                 const std::shared_ptr<DirectoryNode> &left);
    // A job with entries left for anyone to look at, if any.
    std::shared_ptr<DirectoryJob> sharedWorkLocked() const;
    void work();
    // Runs the job of the queue needed soonest on this thread.
    void runQueuedLocked(BriefLock &lock);

    DescriptorCache &m_cache;
    const std::vector<DirectoryReader::Ancestor> m_outside;
    const QByteArrayList m_topLevelSkipped;
    const bool m_adaptive;
    std::atomic<int> m_maxWorkers;
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_outOfMemory{false};
    std::atomic<bool> m_slow{false}; // the storage makes the threads wait
    std::atomic<int> m_waitScore{0};
    std::atomic<int> m_chunksSeen{0};

    std::mutex m_lock;
    std::condition_variable m_workReady;
    std::condition_variable m_jobDone;
    std::vector<std::thread> m_workers;
    std::atomic<int> m_workerCount{0}; // m_workers' size, for a look without the lock
    int m_idle = 0;
    int m_running = 0; // jobs run by workers, each holding descriptors
    bool m_stopping = false;
    bool m_short = false; // descriptors ran short: the read-ahead opens no more
    // Jobs asked for and not yet taken by a thread, soonest needed first.
    std::set<std::shared_ptr<DirectoryJob>, ByPlace> m_queue;
    // Read directories with subdirectories not yet asked for, by the place of
    // the next one; bounded, as each comparison walks up the tree.
    std::set<DirectoryJob *, ByNextPlace> m_offers;
    // Jobs whose entries are being looked at, with chunks left to take.
    std::vector<std::shared_ptr<DirectoryJob>> m_sharing;
    size_t m_ahead = 0; // asked for ahead and not yet taken by the walk
    size_t m_heldEntries = 0; // entries of those
};
