// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "directoryjob.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

class EntryChunks;

// The threads that read directories beside the walk's own. The walk's thread
// hands a job out (submit) and takes it back once it was read (takeDone); a
// worker touches a job only between taking it from the queue and putting it
// among the done ones, and the walk's thread keeps every job it handed out
// until it has it back, so that no job goes on a worker's thread. A thread
// reading a directory of many entries shares them (lookAtEntries): idle
// workers, and the walk's thread while it waits, help look at them.
//
// With a fixed thread count, that many threads read, the walk's own included.
// Otherwise the pool starts small and grows, up to the most it may have, while
// the storage makes the threads wait: on a fast disk a few threads cost less
// than many; on a share every request waits for a server, and many must be in
// flight to hide that.
//
// Threads: m_lock guards the queue, the done jobs, the shared entries and
// their helper counts, and the threads; it is never held during a system
// call. Only the walk's thread submits, reclaims, takes back and stops.
class WorkerPool
{
public:
    // threads: as many as asked for (0: as many as help, up to maxThreads).
    WorkerPool(const ReadContext &context, int threads, int maxThreads);
    ~WorkerPool();
    WorkerPool(const WorkerPool &) = delete;
    WorkerPool &operator=(const WorkerPool &) = delete;

    // Starts the first workers; a thread that cannot start means fewer.
    void start();
    // The threads that read, the walk's own included.
    int threads() const { return m_workerCount.load(std::memory_order_relaxed) + 1; }

    void submit(std::shared_ptr<DirectoryJob> job);
    // Takes back a job that no worker started yet.
    bool reclaim(const std::shared_ptr<DirectoryJob> &job);
    // Takes back the last job in walk order that no worker started, if it
    // comes after the entry at index of dir, which is needed sooner.
    std::shared_ptr<DirectoryJob> reclaimLastAfter(const DirectoryNode *dir, quint32 index);
    // Takes back the first job in walk order that no worker started.
    std::shared_ptr<DirectoryJob> reclaimFirst();
    bool hasDone() const { return m_doneCount.load(std::memory_order_acquire) > 0; }
    // Moves the jobs read since the last call to the end of done.
    void takeDone(std::vector<std::shared_ptr<DirectoryJob>> *done);
    // Helps look at shared entries if any; otherwise waits until a job is
    // done, entries are shared or the walk is cancelled.
    void helpOrWait();
    // Wakes every thread to see that the walk was cancelled; any thread.
    void wake();
    // Lets every worker finish what it does and joins it; what was handed
    // out and not taken back goes.
    void stop();

    // Looks at the entries of a directory this thread reads, sharing them
    // with idle threads once that is worth it; any thread.
    void lookAtEntries(EntryChunks &chunks);

private:
    void work();
    // Takes chunks until none is left; m_lock is held on entry and on return.
    void help(std::unique_lock<std::mutex> &lock, EntryChunks &chunks);
    EntryChunks *sharedWorkLocked() const;
    bool startWorkerLocked();
    // Starts a few more workers while the storage makes the threads wait and
    // work waits for them.
    void growIfSlow();

    const ReadContext &m_context;
    const bool m_adaptive;
    std::atomic<int> m_maxWorkers; // changed under m_lock

    mutable std::mutex m_lock;
    std::condition_variable m_workReady;   // for workers
    std::condition_variable m_walkWakes;   // for the walk's thread
    std::condition_variable m_helpersGone; // for a thread that shared its entries
    std::vector<std::thread> m_workers;
    std::atomic<int> m_workerCount{0};
    int m_idle = 0;
    bool m_walkWaiting = false;
    bool m_stopping = false;
    // Handed out and not started, soonest needed first: a worker takes the
    // first, whatever order they came in.
    std::set<std::shared_ptr<DirectoryJob>, JobsByPlace> m_queue;
    // Room for every job out, reserved as each is handed out, so that a
    // worker never allocates to hand one back.
    std::vector<std::shared_ptr<DirectoryJob>> m_done;
    std::atomic<int> m_doneCount{0};
    size_t m_out = 0; // handed out and not taken back
    // Entries shared by the threads reading them; room for one per thread.
    std::vector<EntryChunks *> m_shared;
};
