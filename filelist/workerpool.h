// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "directoryjob.h"
#include "entrychunks.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

// The threads that read directories beside the walk's own, and the one queue
// of the jobs handed to them. The walk's thread pushes a job (with a
// descriptor reserved for it and its parent pinned), takes back one nobody
// started, and collects the jobs read; a worker touches a job only between
// taking it from the queue and putting it among the read ones, and the walk's
// thread keeps a reference to every job out, so that no job is ever let go
// on a worker's thread. A thread reading a directory of many entries shares
// them (lookAtEntries): idle workers, and the walk's thread while it waits,
// help look at them.
//
// With a fixed thread count, that many threads read, the walk's own included.
// Otherwise the pool starts small and grows, up to the most it may have, while
// the storage makes the threads wait: on a fast disk a few threads cost less
// than many; on a share every request waits for a server, and many must be in
// flight to hide that.
//
// Threads: m_lock guards the queue, the read jobs, the reading count, the
// shared entries and their helper counts, and the threads; it is never held
// during a system call. Only the walk's thread pushes, takes back, collects,
// waits and stops. Invariant, under m_lock:
//   m_out == m_queue.size() + m_reading + m_read.size()
// and every job out is State::Out.
class WorkerPool : public EntryHelpers
{
public:
    // threads: as many as asked for (0: as many as help, up to maxThreads).
    WorkerPool(const ReadContext &context, int threads, int maxThreads);
    ~WorkerPool();
    WorkerPool(const WorkerPool &) = delete;
    WorkerPool &operator=(const WorkerPool &) = delete;

    // Starts the first workers; a thread that cannot start means fewer.
    // False when none could: then there is no pool to hand work to.
    bool start();
    // The threads that read, the walk's own included.
    int threads() const { return m_workerCount.load(std::memory_order_relaxed) + 1; }

    // The jobs out: queued, being read, or read and not yet collected.
    size_t out() const { return m_out; }
    void push(std::shared_ptr<DirectoryJob> job);
    // Takes back a job that no worker started yet.
    bool takeBack(const std::shared_ptr<DirectoryJob> &job);
    // Takes back the first job in walk order that no worker started.
    std::shared_ptr<DirectoryJob> takeBackFirst();
    // Takes back the last job in walk order that no worker started, if it
    // comes after the entry at index of dir, or whatever place when dir is
    // null.
    std::shared_ptr<DirectoryJob> takeBackLastAfter(const DirectoryNode *dir, quint32 index);
    bool hasRead() const { return m_readCount.load(std::memory_order_acquire) > 0; }
    // Moves the jobs read since the last call to the end of read.
    void collect(std::vector<std::shared_ptr<DirectoryJob>> *read);
    // Helps look at shared entries, or waits until a job is read, entries
    // are shared or the walk is cancelled. Returns false at once when no
    // worker reads anything and nothing is read: nothing could end a wait.
    bool wait();
    // Wakes every thread to see that the walk was cancelled; any thread.
    void wake();
    // Lets every worker finish what it reads and joins it; every job out
    // comes back. Allocates nothing.
    std::vector<std::shared_ptr<DirectoryJob>> stop();

    void lookAtEntries(EntryChunks &chunks) override;

private:
    void work();
    // Takes chunks until none is left; m_lock is held on entry and on return.
    void help(std::unique_lock<std::mutex> &lock, EntryChunks &chunks);
    EntryChunks *sharedWorkLocked() const;
    bool startWorkerLocked();
    // Starts a few more workers while the storage makes the threads wait and
    // work waits for them.
    void growIfSlow();
    void checkLocked() const;

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
    // Pushed and not started, soonest needed first: a worker takes the
    // first, whatever order they came in.
    std::set<std::shared_ptr<DirectoryJob>, JobsByPlace> m_queue;
    size_t m_reading = 0;
    // Room for every job out, reserved as each is pushed, so that a worker
    // never allocates to hand one back.
    std::vector<std::shared_ptr<DirectoryJob>> m_read;
    std::atomic<int> m_readCount{0};
    size_t m_out = 0; // written by the walk's thread under m_lock
    // Entries shared by the threads reading them; room for one per thread.
    std::vector<EntryChunks *> m_shared;
};
