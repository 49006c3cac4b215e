// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "readahead.h"

#include "brieflock.h"

#include "listformat.h"

#include <QThread>

#include <algorithm>
#include <chrono>
#include <limits>
#include <new>
#include <system_error>

namespace {

using Entry = DirectoryReader::Entry;
using Error = DirectoryReader::Error;

// Jobs read ahead and not yet taken by the walk: enough to keep the threads
// busy on a fast disk, and many requests in flight on slow storage.
constexpr size_t Budget = 256;
// And the entries those hold, so that memory stays bounded on wide trees.
constexpr size_t MaxHeldEntries = 1 << 18;
// Comparing two places walks up the tree to where they part, so few offers
// are kept; one dropped is offered again when the walk comes to it.
constexpr size_t MaxOffers = 256;
// The mark of a job whose entries are all taken.
constexpr size_t Closed = std::numeric_limits<size_t>::max() / 2;
// Chunks of entries looked at between two checks for waits: small ones
// while the storage is not yet known and once it made a thread wait.
constexpr size_t ProbeChunk = 8;
constexpr size_t FastChunk = 64;
constexpr size_t SlowChunk = 4;
constexpr int ProbeChunks = 32;
// A step of looking at the storage waited when it took far longer than the
// system takes to answer from its cache. How much of the recent looking
// waited is kept in 256ths of one step, fading by a 32nd at each: the storage
// is slow above a quarter, fast again below a sixteenth. A cache partly cold,
// a page of the program read in, or another program taking the core makes a
// step wait now and then on any disk.
constexpr std::chrono::microseconds WaitThreshold{100};
constexpr std::chrono::microseconds WaitPerEntry{20};
constexpr int WaitWeight = 256;
constexpr int SlowScore = WaitWeight * 32 / 4;
constexpr int FastScore = WaitWeight * 32 / 16;

// Sorts a directory's entries into list order.
void sortListing(DirectoryReader::Listing *listing)
{
    struct Item {
        Entry entry;
        SortKey key;
    };
    // One for each thread, kept from one directory to the next.
    thread_local std::vector<Item> items;
    items.clear();
    for (const Entry &entry : listing->entries)
        items.push_back({entry, SortKey(listing->name(entry))});
    std::sort(items.begin(), items.end(),
              [](const Item &a, const Item &b) { return compareKeys(a.key, b.key) < 0; });
    for (size_t i = 0; i < items.size(); ++i)
        listing->entries[i] = items[i].entry;
    // Not kept for a huge directory: memory goes back once it is listed.
    if (items.capacity() > 1 << 16)
        items = {};
    items.clear();
}

// The order of two places in walk order, a place being the entry at an index
// of a directory: each is followed up the tree to where the two part.
int comparePlaces(const DirectoryNode *a, quint32 ia, const DirectoryNode *b, quint32 ib)
{
    bool aBelow = false;
    bool bBelow = false;
    while (a->depth > b->depth) {
        ia = a->index;
        a = a->parent.get();
        aBelow = true;
    }
    while (b->depth > a->depth) {
        ib = b->index;
        b = b->parent.get();
        bBelow = true;
    }
    while (a != b) {
        ia = a->index;
        a = a->parent.get();
        ib = b->index;
        b = b->parent.get();
    }
    if (ia != ib)
        return ia < ib ? -1 : 1;
    // One lies below the other, which comes first.
    return aBelow ? 1 : (bBelow ? -1 : 0);
}

} // namespace

bool ReadAhead::ByPlace::operator()(const std::shared_ptr<DirectoryJob> &a,
                                    const std::shared_ptr<DirectoryJob> &b) const
{
    return comparePlaces(a->node->parent.get(), a->node->index, b->node->parent.get(),
                         b->node->index)
            < 0;
}

bool ReadAhead::ByNextPlace::operator()(const DirectoryJob *a, const DirectoryJob *b) const
{
    return comparePlaces(a->node.get(), quint32(a->scheduled), b->node.get(),
                         quint32(b->scheduled))
            < 0;
}

ReadAhead::ReadAhead(DescriptorCache &cache, std::vector<DirectoryReader::Ancestor> outside,
                     QByteArrayList topLevelSkipped, int threads, int maxThreads)
    : m_cache(cache), m_outside(std::move(outside)), m_topLevelSkipped(std::move(topLevelSkipped)),
      m_adaptive(threads <= 0),
      m_maxWorkers((m_adaptive ? maxThreads : qMin(threads, maxThreads)) - 1)
{
}

ReadAhead::~ReadAhead()
{
    stop();
}

void ReadAhead::start()
{
    // A few threads while the storage answers at once: the walk's own thread
    // reads too, and on a fast disk more threads cost more than they save.
    const int initial = m_adaptive ? qBound(1, QThread::idealThreadCount() - 1, 3) : m_maxWorkers.load();
    BriefLock lock(m_lock);
    while (int(m_workers.size()) < qMin(initial, m_maxWorkers.load()) && startWorkerLocked()) {
    }
}

bool ReadAhead::startWorkerLocked()
{
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
    m_workerCount = int(m_workers.size());
    return true;
}

void ReadAhead::growLocked()
{
    if (m_stopping || m_idle > 0)
        return;
    // A few at a time: each wait seen adds more while work is waiting.
    for (int i = 0; i < 4 && int(m_workers.size()) < m_maxWorkers && startWorkerLocked(); ++i) {
    }
}

ReadAhead::Step::Step(ReadAhead *readAhead)
    : m_readAhead(readAhead->m_maxWorkers > 0 ? readAhead : nullptr)
{
    if (m_readAhead)
        m_start = std::chrono::steady_clock::now();
}

void ReadAhead::Step::done(size_t entries) const
{
    if (!m_readAhead)
        return;
    // A cached look takes a few microseconds an entry; a disk's or a
    // server's answer takes a hundred or more.
    const auto took = std::chrono::steady_clock::now() - m_start;
    m_readAhead->noteCheck(took > WaitThreshold + WaitPerEntry * qint64(entries));
}

void ReadAhead::noteCheck(bool waited)
{
    // Threads may update the score at once and lose a step: it is a rate.
    const int before = m_waitScore.load(std::memory_order_relaxed);
    const int score = before - before / 32 + (waited ? WaitWeight : 0);
    m_waitScore.store(score, std::memory_order_relaxed);
    if (score < FastScore)
        m_slow.store(false, std::memory_order_relaxed);
    if (score < SlowScore)
        return;
    m_slow.store(true, std::memory_order_relaxed);
    if (!m_adaptive || !waited || m_workerCount.load(std::memory_order_relaxed) >= m_maxWorkers)
        return;
    BriefLock lock(m_lock);
    if (!m_queue.empty() || !m_sharing.empty())
        growLocked();
}

bool ReadAhead::spreading() const
{
    // One worker beside the walk gains nothing by small chunks: they pay
    // off once the pool has grown for a storage that keeps it waiting.
    return m_slow.load(std::memory_order_relaxed) && m_workerCount.load(std::memory_order_relaxed) > 1;
}

size_t ReadAhead::chunkSize() const
{
    if (spreading())
        return SlowChunk;
    return m_chunksSeen.load(std::memory_order_relaxed) < ProbeChunks ? ProbeChunk : FastChunk;
}

void ReadAhead::cancel()
{
    m_cancelled = true;
    BriefLock lock(m_lock);
    m_jobDone.notify_all();
}

void ReadAhead::stop()
{
    {
        BriefLock lock(m_lock);
        m_stopping = true;
        m_queue.clear();
        m_offers.clear();
    }
    m_workReady.notify_all();
    // Workers may start others until they see m_stopping; none after.
    for (size_t i = 0;; ++i) {
        std::thread worker;
        {
            BriefLock lock(m_lock);
            if (i == m_workers.size())
                break;
            worker = std::move(m_workers[i]);
        }
        worker.join();
    }
    BriefLock lock(m_lock);
    m_workers.clear();
}

void ReadAhead::readSource(const std::shared_ptr<DirectoryJob> &job,
                           const DescriptorCache::Pin &source)
{
    try {
        const Step step(this);
        source.reader().readNames(&job->listing);
        step.done(job->listing.entries.size());
        list(job, source.reader());
    } catch (const std::bad_alloc &) {
        job->listing = {};
        job->listing.readError = Error::outOfMemory();
    }
    BriefLock lock(m_lock);
    job->state = DirectoryJob::State::Done;
}

void ReadAhead::perform(const std::shared_ptr<DirectoryJob> &job,
                        const std::shared_ptr<DirectoryNode> &left)
{
    try {
        const std::shared_ptr<DirectoryNode> &node = job->node;
        Error error;
        DescriptorCache::Pin dir;
        {
            const DescriptorCache::Pin parent = m_cache.acquire(node->parent, &error, left);
            if (parent)
                dir = m_cache.open(parent, node, &error);
        }
        if (!dir) {
            job->error = error;
            return;
        }
        if (leadsBack(*job))
            return;
        // Only the system's own waits count, not those for the cache's lock.
        const Step step(this);
        dir.reader().readNames(&job->listing);
        step.done(job->listing.entries.size());
        list(job, dir.reader());
        // Only a directory with subdirectories is opened from again.
        if (std::none_of(job->listing.entries.begin(), job->listing.entries.end(),
                         [](const Entry &entry) { return entry.kind == Entry::Kind::Directory; }))
            dir.drop();
    } catch (const std::bad_alloc &) {
        job->listing = {};
        job->error = Error::outOfMemory();
    }
}

void ReadAhead::list(const std::shared_ptr<DirectoryJob> &job, const DirectoryReader &reader)
{
    job->reader = &reader;
    lookAtAll(job);
    job->reader = nullptr;
    job->listing.settle();
    sortListing(&job->listing);
}

bool ReadAhead::leadsBack(DirectoryJob &job) const
{
    const DirectoryReader::Identity identity = job.node->identity;
    for (const DirectoryNode *up = job.node->parent.get(); up; up = up->parent.get()) {
        if (up->identity == identity) {
            job.leadsBackTo = int(up->depth);
            return true;
        }
    }
    for (size_t i = 0; i < m_outside.size(); ++i) {
        if (m_outside[i].identity == identity) {
            job.leadsOutside = int(i);
            return true;
        }
    }
    return false;
}

void ReadAhead::lookAtAll(const std::shared_ptr<DirectoryJob> &job)
{
    job->count = job->listing.entries.size();
    if (m_maxWorkers == 0) {
        // Alone, there is nobody to share with and nothing to learn.
        job->reader->lookAt(&job->listing, 0, job->count);
        return;
    }
    job->nextEntry = 0;
    job->looked = 0;
    bool sharing = false;
    while (!m_cancelled) {
        const size_t chunk = chunkSize();
        const size_t from = job->nextEntry.fetch_add(chunk);
        if (from >= job->count)
            break;
        const size_t to = qMin(from + chunk, job->count);
        const Step step(this);
        job->reader->lookAt(&job->listing, from, to);
        job->looked += to - from;
        step.done(to - from);
        if (m_chunksSeen.load(std::memory_order_relaxed) < ProbeChunks)
            m_chunksSeen.fetch_add(1, std::memory_order_relaxed);
        // Worth sharing once more is left than this thread would soon do.
        if (!sharing && m_maxWorkers > 0 && job->count - to > 4 * chunkSize()) {
            BriefLock lock(m_lock);
            sharing = true;
            job->sharing = true;
            m_sharing.push_back(job);
            m_workReady.notify_all();
        }
    }
    // No chunk is taken after this; wait for those that were. A job never
    // shared was looked at by this thread alone.
    const size_t end = qMin(job->nextEntry.exchange(Closed), job->count);
    if (!sharing)
        return;
    BriefLock lock(m_lock);
    job->sharing = false;
    m_sharing.erase(std::find(m_sharing.begin(), m_sharing.end(), job));
    m_jobDone.wait(lock, [&job, end] { return job->looked == end; });
    Q_ASSERT(job->nextEntry >= Closed);
}

void ReadAhead::help(DirectoryJob &job)
{
    while (!m_cancelled) {
        const size_t chunk = chunkSize();
        const size_t from = job.nextEntry.fetch_add(chunk);
        if (from >= job.count)
            return;
        const size_t to = qMin(from + chunk, job.count);
        const Step step(this);
        job.reader->lookAt(&job.listing, from, to);
        job.looked += to - from;
        step.done(to - from);
        // The job's thread may be waiting for this chunk.
        if (job.nextEntry >= Closed) {
            BriefLock lock(m_lock);
            m_jobDone.notify_all();
        }
    }
}

std::shared_ptr<DirectoryJob> ReadAhead::sharedWorkLocked() const
{
    for (const std::shared_ptr<DirectoryJob> &job : m_sharing) {
        if (job->nextEntry < job->count)
            return job;
    }
    return nullptr;
}

bool ReadAhead::isSkipped(const DirectoryJob &owner, size_t entry) const
{
    return owner.node->depth == 0
            && m_topLevelSkipped.contains(owner.listing.name(owner.listing.entries[entry]));
}

void ReadAhead::offer(DirectoryJob &owner)
{
    if (m_maxWorkers == 0)
        return;
    BriefLock lock(m_lock);
    offerLocked(owner);
    fillLocked();
}

void ReadAhead::withdraw(DirectoryJob &owner)
{
    if (m_maxWorkers == 0)
        return;
    BriefLock lock(m_lock);
    withdrawLocked(owner);
}

void ReadAhead::offerLocked(DirectoryJob &owner)
{
    Q_ASSERT(owner.state != DirectoryJob::State::Running);
    if (m_maxWorkers == 0 || owner.offered || owner.state != DirectoryJob::State::Done
        || owner.error.isSet() || owner.leadsBackTo >= 0 || owner.leadsOutside >= 0)
        return;
    const std::vector<Entry> &entries = owner.listing.entries;
    size_t next = owner.scheduled;
    while (next < entries.size()
           && (entries[next].kind != Entry::Kind::Directory || isSkipped(owner, next)
               || (next < owner.children.size() && owner.children[next])))
        ++next;
    owner.scheduled = next;
    if (next == entries.size())
        return;
    owner.offered = true;
    m_offers.insert(&owner);
    if (m_offers.size() > MaxOffers) {
        const auto last = std::prev(m_offers.end());
        (*last)->offered = false;
        m_offers.erase(last);
    }
}

void ReadAhead::withdrawLocked(DirectoryJob &owner)
{
    if (!owner.offered)
        return;
    m_offers.erase(&owner);
    owner.offered = false;
}

void ReadAhead::fillLocked()
{
    if (m_maxWorkers == 0 || m_stopping || m_short)
        return;
    // Waking a worker costs about as much as reading a small directory, so
    // the read-ahead grows in batches, once a quarter of it was taken.
    const bool grow = m_ahead + Budget / 4 <= Budget;
    size_t added = 0;
    while (m_heldEntries < MaxHeldEntries && !m_offers.empty()) {
        DirectoryJob &owner = **m_offers.begin();
        if (!grow || m_ahead >= Budget) {
            // A directory found just now may be needed before one asked for
            // earlier: it takes the turn of the last one nobody started.
            if (m_queue.empty())
                break;
            const std::shared_ptr<DirectoryJob> last = *std::prev(m_queue.end());
            if (comparePlaces(owner.node.get(), quint32(owner.scheduled), last->node->parent.get(),
                              last->node->index)
                >= 0)
                break;
            unscheduleLocked(last);
        }
        withdrawLocked(owner);
        const size_t entry = owner.scheduled++;
        const Entry &child = owner.listing.entries[entry];
        auto job = std::make_shared<DirectoryJob>(std::make_shared<DirectoryNode>(
                owner.node, owner.listing.name(child).toByteArray(), quint32(entry)));
        job->ahead = true;
        job->owner = &owner;
        if (owner.children.empty())
            owner.children.resize(owner.listing.entries.size());
        owner.children[entry] = job;
        m_queue.insert(std::move(job));
        ++m_ahead;
        ++added;
        offerLocked(owner);
    }
    if (added > 0)
        m_workReady.notify_all();
}

void ReadAhead::unscheduleLocked(const std::shared_ptr<DirectoryJob> &job)
{
    Q_ASSERT(job->state == DirectoryJob::State::Pending && job->ahead);
    m_queue.erase(job);
    --m_ahead;
    DirectoryJob &owner = *job->owner;
    withdrawLocked(owner);
    owner.children[job->node->index].reset();
    owner.scheduled = qMin<size_t>(owner.scheduled, job->node->index);
    offerLocked(owner);
}

void ReadAhead::finishLocked(DirectoryJob &job)
{
    Q_ASSERT(job.state == DirectoryJob::State::Done || job.state == DirectoryJob::State::Abandoned);
    Q_ASSERT(!job.sharing);
    if (job.ahead && job.state == DirectoryJob::State::Done)
        m_heldEntries += job.listing.entries.size();
    offerLocked(job);
    fillLocked();
    m_jobDone.notify_all();
}

std::shared_ptr<DirectoryJob> ReadAhead::take(DirectoryJob &owner, size_t entry,
                                              const std::shared_ptr<DirectoryNode> &left)
{
    BriefLock lock(m_lock);
    std::shared_ptr<DirectoryJob> job;
    if (entry < owner.children.size())
        job = std::move(owner.children[entry]);
    if (!job) {
        if (owner.scheduled <= entry) {
            // Read here and now: the read-ahead must not ask for it again.
            withdrawLocked(owner);
            owner.scheduled = entry + 1;
            offerLocked(owner);
        }
        const Entry &child = owner.listing.entries[entry];
        job = std::make_shared<DirectoryJob>(std::make_shared<DirectoryNode>(
                owner.node, owner.listing.name(child).toByteArray(), quint32(entry)));
    } else if (job->state == DirectoryJob::State::Pending) {
        m_queue.erase(job);
    } else {
        waitLocked(lock, job);
    }
    if (job->ahead) {
        job->ahead = false;
        --m_ahead;
        if (job->state == DirectoryJob::State::Done)
            m_heldEntries -= job->listing.entries.size();
    }
    if (job->state != DirectoryJob::State::Done && !m_cancelled && !m_outOfMemory)
        runHere(lock, job, left);
    // Done, or the walk is over: what a worker still runs stays its own.
    Q_ASSERT(job->state == DirectoryJob::State::Done || m_cancelled || m_outOfMemory);
    fillLocked();
    return job;
}

void ReadAhead::runHere(BriefLock &lock, const std::shared_ptr<DirectoryJob> &job,
                        const std::shared_ptr<DirectoryNode> &left)
{
    for (;;) {
        job->state = DirectoryJob::State::Running;
        job->error = {};
        job->listing = {};
        lock.unlock();
        perform(job, left);
        lock.lock();
        job->state = DirectoryJob::State::Done;
        if (job->error.cause() != Error::Cause::OutOfDescriptors || (m_short && m_running == 0))
            break;
        // The read-ahead gives up its descriptors before the walk fails for
        // want of one: it opens no more, and those in use are let go.
        m_short = true;
        m_jobDone.wait(lock, [this] { return m_running == 0; });
    }
    finishLocked(*job);
}

void ReadAhead::waitLocked(BriefLock &lock,
                           const std::shared_ptr<DirectoryJob> &job)
{
    while (job->state == DirectoryJob::State::Running && !m_cancelled && !m_outOfMemory) {
        if (job->sharing && job->nextEntry < job->count) {
            // Rather than wait, look at its entries too.
            lock.unlock();
            help(*job);
            lock.lock();
        } else if (!m_queue.empty() && !m_short && !spreading()) {
            // Or read a directory needed later: on a fast disk the wait is
            // short, and waking up costs as much as reading a small one.
            runQueuedLocked(lock);
        } else {
            m_jobDone.wait(lock);
        }
    }
}

void ReadAhead::work()
{
    try {
        BriefLock lock(m_lock);
        for (;;) {
            ++m_idle;
            std::shared_ptr<DirectoryJob> shared;
            m_workReady.wait(lock, [this, &shared] {
                shared = sharedWorkLocked();
                return m_stopping || shared || (!m_queue.empty() && !m_short);
            });
            --m_idle;
            if (m_stopping)
                return;
            if (shared) {
                lock.unlock();
                help(*shared);
                lock.lock();
                continue;
            }
            runQueuedLocked(lock);
        }
    } catch (const std::bad_alloc &) {
        // Nothing a worker left half done can be trusted: the walk fails.
        m_outOfMemory = true;
        BriefLock lock(m_lock);
        m_jobDone.notify_all();
    }
}

void ReadAhead::runQueuedLocked(BriefLock &lock)
{
    const auto place = m_queue.begin();
    const std::shared_ptr<DirectoryJob> job = *place;
    m_queue.erase(place);
    Q_ASSERT(job->state == DirectoryJob::State::Pending && job->ahead);
    job->state = DirectoryJob::State::Running;
    ++m_running;
    lock.unlock();
    perform(job);
    lock.lock();
    --m_running;
    if (job->error.cause() == Error::Cause::OutOfDescriptors) {
        // The walk does it when it gets there, as it would alone.
        job->state = DirectoryJob::State::Abandoned;
        job->error = {};
        job->listing = {};
        m_short = true;
    } else {
        job->state = DirectoryJob::State::Done;
    }
    finishLocked(*job);
}
