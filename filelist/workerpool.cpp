// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "workerpool.h"

#include "storageprobe.h"

#include <QThread>

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>

namespace {

// How long the walk's thread waits before it looks again whether the pool
// should grow, while the storage is slow.
constexpr std::chrono::milliseconds GrowthCheck{2};

} // namespace

WorkerPool::WorkerPool(const ReadContext &context, int threads, int maxThreads)
    : m_context(context), m_adaptive(threads <= 0),
      m_maxWorkers((m_adaptive ? maxThreads : std::min(threads, maxThreads)) - 1)
{
    m_workers.reserve(size_t(std::max(m_maxWorkers.load(), 0)));
    m_shared.reserve(size_t(maxThreads));
}

WorkerPool::~WorkerPool()
{
    stop();
}

bool WorkerPool::start()
{
    // A few threads while the storage answers at once: the walk's own thread
    // reads too, and on a fast disk more threads cost more than they save.
    const int initial = m_adaptive ? std::clamp(QThread::idealThreadCount() - 1, 1, 3) : m_maxWorkers.load();
    std::lock_guard<std::mutex> lock(m_lock);
    while (int(m_workers.size()) < std::min(initial, m_maxWorkers.load()) && startWorkerLocked()) {
    }
    return !m_workers.empty();
}

bool WorkerPool::startWorkerLocked()
{
    if (m_stopping)
        return false;
    try {
        m_workers.emplace_back([this] { work(); });
    } catch (const std::system_error &) {
        // A thread that cannot start means fewer of them, from now on.
        m_maxWorkers = int(m_workers.size());
        return false;
    } catch (const std::bad_alloc &) {
        m_maxWorkers = int(m_workers.size());
        return false;
    }
    m_workerCount.store(int(m_workers.size()), std::memory_order_relaxed);
    return true;
}

void WorkerPool::growIfSlow()
{
    if (!m_adaptive || !m_context.probe.slow()
        || m_workerCount.load(std::memory_order_relaxed) >= m_maxWorkers.load(std::memory_order_relaxed))
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_idle > 0 || int(m_workers.size()) >= m_maxWorkers
        || (m_queue.empty() && !sharedWorkLocked()))
        return;
    // A few at a time: each look that finds work waiting adds more.
    for (int i = 0; i < 4 && int(m_workers.size()) < m_maxWorkers && startWorkerLocked(); ++i) {
    }
}

void WorkerPool::checkLocked() const
{
    Q_ASSERT(m_out == m_queue.size() + m_reading + m_read.size());
    Q_ASSERT(size_t(m_readCount.load(std::memory_order_relaxed)) == m_read.size());
}

void WorkerPool::push(std::shared_ptr<DirectoryJob> job)
{
    Q_ASSERT(job->state == DirectoryJob::State::Out);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        // Both may throw; then nothing was pushed.
        m_read.reserve(m_out + 1);
        const bool inserted = m_queue.insert(std::move(job)).second;
        Q_ASSERT(inserted); // one job a place
        Q_UNUSED(inserted);
        ++m_out;
        checkLocked();
    }
    m_workReady.notify_one();
}

bool WorkerPool::takeBack(const std::shared_ptr<DirectoryJob> &job)
{
    std::lock_guard<std::mutex> lock(m_lock);
    const auto at = m_queue.find(job);
    if (at == m_queue.end() || *at != job)
        return false;
    m_queue.erase(at);
    --m_out;
    checkLocked();
    return true;
}

std::shared_ptr<DirectoryJob> WorkerPool::takeBackFirst()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_queue.empty())
        return nullptr;
    std::shared_ptr<DirectoryJob> job = *m_queue.begin();
    m_queue.erase(m_queue.begin());
    --m_out;
    checkLocked();
    return job;
}

std::shared_ptr<DirectoryJob> WorkerPool::takeBackLastAfter(const DirectoryNode *dir, quint32 index)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_queue.empty())
        return nullptr;
    const auto last = std::prev(m_queue.end());
    const DirectoryNode &node = *(*last)->node;
    if (dir && comparePlaces(dir, index, node.parent.get(), node.index) >= 0)
        return nullptr;
    std::shared_ptr<DirectoryJob> job = *last;
    m_queue.erase(last);
    --m_out;
    checkLocked();
    return job;
}

void WorkerPool::collect(std::vector<std::shared_ptr<DirectoryJob>> *read)
{
    std::lock_guard<std::mutex> lock(m_lock);
    read->reserve(read->size() + m_read.size());
    for (std::shared_ptr<DirectoryJob> &job : m_read)
        read->push_back(std::move(job));
    m_out -= m_read.size();
    m_read.clear();
    m_readCount.store(0, std::memory_order_relaxed);
    checkLocked();
}

EntryChunks *WorkerPool::sharedWorkLocked() const
{
    for (EntryChunks *chunks : m_shared) {
        if (chunks->left() > 0)
            return chunks;
    }
    return nullptr;
}

bool WorkerPool::wait()
{
    {
        std::unique_lock<std::mutex> lock(m_lock);
        if (EntryChunks *chunks = sharedWorkLocked()) {
            help(lock, *chunks);
            return true;
        }
        if (!m_read.empty() || m_context.cancelled.load())
            return true;
        // Only a worker reading a job can end the wait; queued jobs may wait
        // for the walk's thread itself, which then reads them.
        if (m_reading == 0)
            return false;
        const auto woken = [this] {
            return !m_read.empty() || sharedWorkLocked() || m_context.cancelled.load();
        };
        m_walkWaiting = true;
        if (m_adaptive && int(m_workers.size()) < m_maxWorkers && m_context.probe.slow())
            m_walkWakes.wait_for(lock, GrowthCheck, woken);
        else
            m_walkWakes.wait(lock, woken);
        m_walkWaiting = false;
    }
    growIfSlow();
    return true;
}

void WorkerPool::wake()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_workReady.notify_all();
    m_walkWakes.notify_all();
}

std::vector<std::shared_ptr<DirectoryJob>> WorkerPool::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stopping = true;
    }
    m_workReady.notify_all();
    // Workers may start others until they see m_stopping; none after.
    for (size_t i = 0;; ++i) {
        std::thread worker;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (i == m_workers.size())
                break;
            worker = std::move(m_workers[i]);
        }
        if (worker.joinable())
            worker.join();
    }
    // The jobs go back to the walk's thread, where they belong, without an
    // allocation: room for all of them was reserved as they were pushed.
    std::lock_guard<std::mutex> lock(m_lock);
    Q_ASSERT(m_reading == 0);
    for (const std::shared_ptr<DirectoryJob> &job : m_queue)
        m_read.push_back(job);
    m_queue.clear();
    std::vector<std::shared_ptr<DirectoryJob>> out = std::move(m_read);
    m_read.clear();
    m_readCount.store(0, std::memory_order_relaxed);
    m_out = 0;
    return out;
}

void WorkerPool::lookAtEntries(EntryChunks &chunks)
{
    StorageProbe &probe = m_context.probe;
    bool shared = false;
    while (!m_context.cancelled.load(std::memory_order_relaxed)) {
        const size_t size = probe.chunkSize(threads());
        if (!chunks.lookAtNext(size, probe))
            break;
        // Worth sharing once more is left than this thread would soon do.
        if (!shared && chunks.left() > 4 * size) {
            std::lock_guard<std::mutex> lock(m_lock);
            m_shared.push_back(&chunks); // room for one per thread
            shared = true;
            m_workReady.notify_all();
            if (m_walkWaiting)
                m_walkWakes.notify_one();
        }
        growIfSlow();
    }
    if (!shared)
        return;
    std::unique_lock<std::mutex> lock(m_lock);
    m_shared.erase(std::find(m_shared.begin(), m_shared.end(), &chunks));
    m_helpersGone.wait(lock, [&chunks] { return chunks.helpers == 0; });
}

void WorkerPool::help(std::unique_lock<std::mutex> &lock, EntryChunks &chunks)
{
    ++chunks.helpers;
    lock.unlock();
    StorageProbe &probe = m_context.probe;
    while (!m_context.cancelled.load(std::memory_order_relaxed)
           && chunks.lookAtNext(probe.chunkSize(threads()), probe))
        growIfSlow();
    lock.lock();
    if (--chunks.helpers == 0)
        m_helpersGone.notify_all();
}

void WorkerPool::work()
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        ++m_idle;
        EntryChunks *shared = nullptr;
        m_workReady.wait(lock, [this, &shared] {
            shared = sharedWorkLocked();
            return m_stopping || shared || !m_queue.empty();
        });
        --m_idle;
        if (m_stopping)
            return;
        if (shared) {
            help(lock, *shared);
            continue;
        }
        std::shared_ptr<DirectoryJob> job = *m_queue.begin();
        m_queue.erase(m_queue.begin());
        ++m_reading;
        lock.unlock();
        job->read(m_context);
        growIfSlow();
        lock.lock();
        --m_reading;
        m_read.push_back(std::move(job)); // room was reserved when it was pushed
        m_readCount.fetch_add(1, std::memory_order_release);
        checkLocked();
        if (m_walkWaiting)
            m_walkWakes.notify_one();
    }
}
