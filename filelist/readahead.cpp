// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "readahead.h"

#include "descriptorcache.h"
#include "storageprobe.h"
#include "workerpool.h"

#include <algorithm>

namespace {

using Entry = DirectoryReader::Entry;
using Error = DirectoryReader::Error;
using State = DirectoryJob::State;

// Jobs out at once: on slow storage enough for many requests in flight; on
// a fast disk enough that no worker runs dry while the walk's thread writes
// lines or reads a directory itself, rather than wait, from the same queue.
constexpr size_t SlowOut = 256;
constexpr size_t FastOutPerThread = 8;
// Jobs read and waiting for the walk: enough that workers gone far ahead in
// one part of the tree leave the directories needed sooner to be asked for.
constexpr size_t MaxHeld = 1024;
// And the entries those hold, so that memory stays bounded on wide trees.
constexpr size_t MaxHeldEntries = 1 << 18;

} // namespace

ReadAhead::ReadAhead(DescriptorCache &cache, const ReadContext &context, WorkerPool *pool,
                     QByteArrayList topLevelSkipped)
    : m_cache(cache), m_context(context), m_pool(pool),
      m_offers(std::move(topLevelSkipped))
{
}

ReadAhead::~ReadAhead()
{
    stop();
}

bool ReadAhead::stop()
{
    // Allocates nothing: it may run while an exception unwinds.
    bool idle = m_held == 0 && m_heldEntries == 0 && m_offers.isEmpty();
    const auto giveBack = [this, &idle](DirectoryJob &job) {
        idle = idle && job.dropped;
        release(job);
        job.reader.close();
    };
    if (m_pool) {
        for (const std::shared_ptr<DirectoryJob> &job : m_pool->stop())
            giveBack(*job);
    }
    for (const std::shared_ptr<DirectoryJob> &job : m_back)
        giveBack(*job);
    m_back.clear();
    m_offers.clear();
    return idle;
}

bool ReadAhead::cancelled() const
{
    return m_context.cancelled.load(std::memory_order_relaxed);
}

void ReadAhead::readSource(DirectoryJob &job, const DirectoryReader &source)
{
    job.read(m_context, &source);
    job.state = State::Done;
}

std::shared_ptr<DirectoryJob> ReadAhead::makeChild(DirectoryJob &owner, size_t entry) const
{
    const Entry &child = owner.listing.entries.at(qsizetype(entry));
    return std::make_shared<DirectoryJob>(std::make_shared<DirectoryNode>(
            owner.node, owner.listing.name(child).toByteArray(), quint32(entry),
            child.flags & Entry::Link));
}

std::shared_ptr<DirectoryJob> ReadAhead::take(const std::shared_ptr<DirectoryJob> &owner,
                                              size_t entry,
                                              const std::shared_ptr<DirectoryNode> &left)
{
    std::shared_ptr<DirectoryJob> job = owner->takeChild(entry);
    if (!job) {
        if (owner->scheduled <= entry) {
            // Read here and now: the read-ahead must not ask for it again.
            withdraw(*owner);
            owner->scheduled = entry + 1;
            addOffer(owner);
        }
        job = makeChild(*owner, entry);
    } else {
        job->ahead = false;
        job->owner.reset();
        if (job->state == State::Done) {
            --m_held;
            m_heldEntries -= size_t(job->listing.entries.size());
        } else {
            Q_ASSERT(job->state == State::Out);
            if (m_pool->takeBack(job))
                release(*job);
            else
                awaitRead(*job);
        }
    }
    if (job->state == State::New && !cancelled())
        readHere(*job, left);
    fill();
    return job;
}

void ReadAhead::readHere(DirectoryJob &job, const std::shared_ptr<DirectoryNode> &left)
{
    while (!cancelled()) {
        job.error = {};
        job.listing = {};
        DescriptorCache::Pin parent = m_cache.acquire(job.node->parent, &job.error, left);
        if (parent) {
            if (!reserveHere())
                return;
            job.parent = &parent.reader();
            job.read(m_context);
            job.parent = nullptr;
            if (job.error.cause() != Error::Cause::OutOfDescriptors) {
                settleDescriptors(job);
                job.state = State::Done;
                return;
            }
            m_cache.release();
        }
        if (job.error.cause() != Error::Cause::OutOfDescriptors)
            break;
        // The system has fewer descriptors than the budget: the cache gives
        // one up, or a worker gives one back, before the walk fails for want
        // of one.
        if (!m_cache.shortOfDescriptors() && !awaitWorkers())
            break;
    }
    job.state = State::Done;
}

bool ReadAhead::reserveHere()
{
    while (!m_cache.reserve()) {
        if (cancelled())
            return false;
        if (m_pool) {
            // A job nobody started gives its descriptor back at once, the one
            // needed last first; one being read, once it is read.
            if (const std::shared_ptr<DirectoryJob> last = m_pool->takeBackLastAfter(nullptr, 0)) {
                release(*last);
                unschedule(last);
                continue;
            }
            if (awaitWorkers())
                continue;
        }
        // Nothing out holds one: the walk's own thread must go on.
        m_cache.reserveAnyway();
        break;
    }
    return true;
}

void ReadAhead::awaitRead(DirectoryJob &job)
{
    while (job.state == State::Out && !cancelled()) {
        if (collect()) {
            fill();
            continue;
        }
        // On a fast disk the wait is short, and waking up costs as much as
        // reading a small directory: rather than wait, read one needed later.
        if (readQueuedHere())
            continue;
        // The job is being read, or read and not yet taken back.
        const bool waited = awaitWorkers();
        Q_ASSERT(waited);
        if (!waited)
            break;
    }
}

bool ReadAhead::awaitWorkers()
{
    if (!m_pool)
        return false;
    if (collect())
        return true;
    if (!m_pool->wait())
        return false;
    collect();
    return true;
}

bool ReadAhead::readQueuedHere()
{
    if (m_context.probe.slow() && m_pool->threads() > 2)
        return false;
    const std::shared_ptr<DirectoryJob> job = m_pool->takeBackFirst();
    if (!job)
        return false;
    // Its descriptor is reserved and its parent pinned since it went out.
    job->read(m_context);
    finish(job);
    return true;
}

bool ReadAhead::collect()
{
    if (!m_pool || !m_pool->hasRead())
        return false;
    m_pool->collect(&m_back);
    while (!m_back.empty()) {
        const std::shared_ptr<DirectoryJob> job = std::move(m_back.back());
        m_back.pop_back();
        finish(job);
    }
    return true;
}

void ReadAhead::finish(const std::shared_ptr<DirectoryJob> &job)
{
    job->parentPin.reset();
    job->parent = nullptr;
    if (job->dropped) {
        job->reader.close();
        m_cache.release();
        job->state = State::New;
        return;
    }
    if (job->error.cause() == Error::Cause::OutOfDescriptors) {
        // The system ran out before the budget did: the budget comes down to
        // what is in use, and the walk reads the job when it gets there.
        m_cache.release();
        m_cache.shortOfDescriptors();
        job->error = {};
        job->state = State::New;
        if (job->ahead)
            unschedule(job);
        return;
    }
    job->state = State::Done;
    settleDescriptors(*job);
    if (job->ahead) {
        ++m_held;
        m_heldEntries += size_t(job->listing.entries.size());
    }
    addOffer(job);
}

void ReadAhead::settleDescriptors(DirectoryJob &job)
{
    // Set once, here, before any job below it goes out: workers read the
    // identities of a job's ancestors.
    if (!job.error.isSet())
        job.node->identity = job.identity;
    if (job.reader.isOpen()) {
        // Open for its subdirectories; the cache may close it meanwhile.
        m_cache.install(job.node, std::move(job.reader));
        return;
    }
    m_cache.release();
}

void ReadAhead::release(DirectoryJob &job)
{
    job.parentPin.reset();
    job.parent = nullptr;
    m_cache.release();
    job.state = State::New;
}

void ReadAhead::unschedule(const std::shared_ptr<DirectoryJob> &job)
{
    job->ahead = false;
    const std::shared_ptr<DirectoryJob> owner = job->owner.lock();
    job->owner.reset();
    if (!owner)
        return;
    withdraw(*owner);
    owner->takeChild(job->node->index);
    owner->scheduled = qMin<size_t>(owner->scheduled, job->node->index);
    addOffer(owner);
}

void ReadAhead::drop(DirectoryJob &job)
{
    withdraw(job);
    for (const auto &child : job.children)
        discard(child.second);
    job.children.clear();
}

void ReadAhead::discard(const std::shared_ptr<DirectoryJob> &job)
{
    job->ahead = false;
    job->owner.reset();
    switch (job->state) {
    case State::Out:
        if (m_pool->takeBack(job))
            release(*job);
        else
            job->dropped = true; // goes once it is back
        break;
    case State::Done:
        --m_held;
        m_heldEntries -= size_t(job->listing.entries.size());
        drop(*job);
        break;
    case State::New:
        break;
    }
}

void ReadAhead::poll()
{
    if (collect())
        fill();
}

void ReadAhead::offer(const std::shared_ptr<DirectoryJob> &owner)
{
    addOffer(owner);
    fill();
}

void ReadAhead::addOffer(const std::shared_ptr<DirectoryJob> &owner)
{
    if (m_pool)
        m_offers.add(owner);
}

void ReadAhead::withdraw(DirectoryJob &owner)
{
    m_offers.withdraw(owner);
}

void ReadAhead::fill()
{
    if (!m_pool)
        return;
    const size_t limit = m_context.probe.slow() ? SlowOut : FastOutPerThread * size_t(m_pool->threads());
    // Waking a worker costs about as much as reading a small directory, so
    // the read-ahead grows in batches, once a quarter of it was taken.
    const bool grow = m_pool->out() + limit / 4 <= limit;
    while (!m_offers.isEmpty() && m_held < MaxHeld && m_heldEntries < MaxHeldEntries && !cancelled()) {
        const std::shared_ptr<DirectoryJob> owner = m_offers.first();
        if (!grow || m_pool->out() >= limit) {
            // A directory found just now may be needed before one asked for
            // earlier: it takes the turn of the last one nobody started. On
            // slow storage only: elsewhere few wait to be started, and not
            // for long.
            if (!m_context.probe.slow())
                break;
            const std::shared_ptr<DirectoryJob> later =
                    m_pool->takeBackLastAfter(owner->node.get(), quint32(owner->scheduled));
            if (!later)
                break;
            release(*later);
            unschedule(later);
        }
        if (!dispatch(owner))
            break;
    }
}

bool ReadAhead::dispatch(const std::shared_ptr<DirectoryJob> &owner)
{
    if (!m_cache.reserve())
        return false;
    withdraw(*owner);
    Error error;
    DescriptorCache::Pin parent = m_cache.acquire(owner->node, &error);
    if (!parent) {
        // The walk reads its subdirectories when it gets there, and says why
        // it cannot.
        m_cache.release();
        return true;
    }
    const size_t entry = owner->scheduled++;
    std::shared_ptr<DirectoryJob> job = makeChild(*owner, entry);
    job->ahead = true;
    job->owner = owner;
    job->parentPin = std::move(parent);
    job->parent = &job->parentPin.reader();
    job->state = State::Out;
    owner->addChild(entry, job);
    m_pool->push(job);
    addOffer(owner);
    return true;
}
