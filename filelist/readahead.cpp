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

// Jobs asked for ahead and not yet read: enough to keep the threads busy on a
// fast disk, and many requests in flight on slow storage.
constexpr size_t Budget = 256;
// And those read, waiting for the walk: apart, or workers gone far ahead in one
// part of the tree would leave the directories needed sooner to the walk.
constexpr size_t MaxHeld = 4 * Budget;
// And the entries those hold, so that memory stays bounded on wide trees.
constexpr size_t MaxHeldEntries = 1 << 18;
// Comparing two places walks up the tree to where they part, so few offers
// are kept; one dropped is offered again when the walk comes back to it.
constexpr size_t MaxOffers = 256;

} // namespace

bool ReadAhead::ByNextPlace::operator()(const std::shared_ptr<DirectoryJob> &a,
                                        const std::shared_ptr<DirectoryJob> &b) const
{
    return comparePlaces(a->node.get(), quint32(a->scheduled), b->node.get(),
                         quint32(b->scheduled))
            < 0;
}

ReadAhead::ReadAhead(DescriptorCache &cache, const ReadContext &context,
                     QByteArrayList topLevelSkipped)
    : m_cache(cache), m_context(context), m_pool(context.pool),
      m_topLevelSkipped(std::move(topLevelSkipped))
{
}

ReadAhead::~ReadAhead()
{
    stop();
}

void ReadAhead::stop()
{
    if (m_pool)
        m_pool->stop();
    m_waiting.clear();
    m_offers.clear();
    m_back.clear();
    m_out = 0;
}

bool ReadAhead::cancelled() const
{
    return m_context.cancelled.load(std::memory_order_relaxed);
}

void ReadAhead::readSource(DirectoryJob &job, const DirectoryReader &source)
{
    job.read(m_context, &source);
    job.state = DirectoryJob::State::Done;
}

std::shared_ptr<DirectoryJob> ReadAhead::makeChild(DirectoryJob &owner, size_t entry) const
{
    const Entry &child = owner.listing.entries.at(qsizetype(entry));
    return std::make_shared<DirectoryJob>(std::make_shared<DirectoryNode>(
            owner.node, owner.listing.name(child).toByteArray(), quint32(entry),
            child.flags & Entry::Link));
}

bool ReadAhead::isSkipped(const DirectoryJob &owner, size_t entry) const
{
    return owner.node->depth == 0
            && m_topLevelSkipped.contains(owner.listing.name(owner.listing.entries.at(qsizetype(entry))));
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
        if (job->state == DirectoryJob::State::Out) {
            if (m_pool->reclaim(job))
                reclaimed(*job);
            else
                waitFor(*job);
        }
        // Never handed out, or handed back unread.
        if (job->state == DirectoryJob::State::Waiting)
            m_waiting.erase(job);
        job->ahead = false;
        --m_ahead;
        if (job->state == DirectoryJob::State::Done) {
            --m_held;
            m_heldEntries -= job->listing.entries.size();
        }
    }
    if (job->state != DirectoryJob::State::Done && !cancelled())
        readHere(*job, left);
    fill();
    handOut();
    return job;
}

void ReadAhead::readHere(DirectoryJob &job, const std::shared_ptr<DirectoryNode> &left)
{
    while (!cancelled()) {
        job.error = {};
        job.listing = {};
        DescriptorCache::Pin parent = m_cache.acquire(job.node->parent, &job.error, left);
        if (parent) {
            if (!m_cache.reserve()) {
                // The workers hold the descriptors: one comes back with a job.
                if (m_out > 0) {
                    awaitAny();
                    continue;
                }
                m_cache.reserveAnyway();
            }
            job.parent = &parent.reader();
            job.read(m_context);
            job.parent = nullptr;
            if (job.error.cause() != Error::Cause::OutOfDescriptors) {
                settleDescriptors(job);
                job.state = DirectoryJob::State::Done;
                return;
            }
            m_cache.release();
        }
        if (job.error.cause() != Error::Cause::OutOfDescriptors)
            break;
        // The system has fewer descriptors than the budget: the cache gives
        // one up, or a worker gives one back, before the walk fails for want
        // of one.
        if (!m_cache.shortOfDescriptors()) {
            if (m_out == 0)
                break;
            awaitAny();
        }
    }
    job.state = DirectoryJob::State::Done;
}

void ReadAhead::awaitAny()
{
    const size_t out = m_out;
    while (m_out == out && !cancelled()) {
        takeBack();
        if (m_out == out)
            m_pool->helpOrWait();
    }
}

void ReadAhead::waitFor(DirectoryJob &job)
{
    while (job.state == DirectoryJob::State::Out && !cancelled()) {
        // What the workers read meanwhile lets the read-ahead go on.
        poll();
        if (job.state != DirectoryJob::State::Out)
            break;
        // On a fast disk the wait is short, and waking up costs as much as
        // reading a small directory: rather than wait, read one needed later.
        if (!readWaitingHere())
            m_pool->helpOrWait();
    }
}

bool ReadAhead::readWaitingHere()
{
    if (m_context.probe.slow() && m_pool->threads() > 2)
        return false;
    // One handed out and not started yet is needed sooner than the others.
    if (const std::shared_ptr<DirectoryJob> job = m_pool->reclaimFirst()) {
        reclaimed(*job);
        m_waiting.insert(job);
    }
    if (m_waiting.empty() || !m_cache.reserve())
        return false;
    const std::shared_ptr<DirectoryJob> job = *m_waiting.begin();
    Error error;
    DescriptorCache::Pin parent = m_cache.acquire(job->node->parent, &error);
    if (!parent) {
        m_cache.release();
        return false;
    }
    m_waiting.erase(m_waiting.begin());
    job->parent = &parent.reader();
    job->read(m_context);
    job->parent = nullptr;
    finishAhead(job);
    return true;
}

void ReadAhead::takeBack()
{
    if (!m_pool || !m_pool->hasDone())
        return;
    m_pool->takeDone(&m_back);
    for (const std::shared_ptr<DirectoryJob> &job : m_back) {
        --m_out;
        job->parentPin.reset();
        job->parent = nullptr;
        finishAhead(job);
    }
    m_back.clear();
}

void ReadAhead::finishAhead(const std::shared_ptr<DirectoryJob> &job)
{
    if (job->error.cause() == Error::Cause::OutOfDescriptors) {
        // The system ran out before the budget did: it is read again, within
        // a budget lowered to what is in use.
        m_cache.release();
        m_cache.shortOfDescriptors();
        job->error = {};
        job->state = DirectoryJob::State::Waiting;
        m_waiting.insert(job);
        return;
    }
    job->state = DirectoryJob::State::Done;
    settleDescriptors(*job);
    ++m_held;
    m_heldEntries += job->listing.entries.size();
    addOffer(job);
}

void ReadAhead::settleDescriptors(DirectoryJob &job)
{
    if (job.reader.isOpen()) {
        // Open for its subdirectories; the cache may close it meanwhile.
        m_cache.install(job.node, std::move(job.reader));
        return;
    }
    m_cache.release();
    if (!job.error.isSet())
        job.node->identity = job.identity;
}

void ReadAhead::poll()
{
    if (!m_pool || !m_pool->hasDone())
        return;
    takeBack();
    fill();
    handOut();
}

void ReadAhead::offer(const std::shared_ptr<DirectoryJob> &owner)
{
    addOffer(owner);
    fill();
    handOut();
}

void ReadAhead::addOffer(const std::shared_ptr<DirectoryJob> &owner)
{
    if (!m_pool || owner->offered || !owner->canHaveChildren())
        return;
    const QList<Entry> &entries = owner->listing.entries;
    size_t next = owner->scheduled;
    while (next < size_t(entries.size())
           && (entries[qsizetype(next)].kind != Entry::Kind::Directory || isSkipped(*owner, next)
               || owner->hasChild(next)))
        ++next;
    owner->scheduled = next;
    if (next == size_t(entries.size()))
        return;
    owner->offered = true;
    m_offers.insert(owner);
    if (m_offers.size() > MaxOffers) {
        const auto last = std::prev(m_offers.end());
        (*last)->offered = false;
        m_offers.erase(last);
    }
}

void ReadAhead::withdraw(DirectoryJob &owner)
{
    if (!owner.offered)
        return;
    // The offers are ordered by place: one found at the owner's is the owner.
    const auto at = std::find_if(m_offers.begin(), m_offers.end(),
                                 [&owner](const std::shared_ptr<DirectoryJob> &offer) {
                                     return offer.get() == &owner;
                                 });
    Q_ASSERT(at != m_offers.end());
    m_offers.erase(at);
    owner.offered = false;
}

void ReadAhead::fill()
{
    if (!m_pool)
        return;
    // Waking a worker costs about as much as reading a small directory, so
    // the read-ahead grows in batches, once a quarter of it was taken.
    const bool grow = m_ahead - m_held + Budget / 4 <= Budget;
    while (m_heldEntries < MaxHeldEntries && m_held < MaxHeld && !m_offers.empty()) {
        const std::shared_ptr<DirectoryJob> owner = *m_offers.begin();
        if (!grow || m_ahead - m_held >= Budget) {
            // A directory found just now may be needed before one asked for
            // earlier: it takes the turn of the last one nobody started. On
            // slow storage only: elsewhere few wait to be started, and not
            // for long.
            if (m_context.probe.slow()) {
                if (const std::shared_ptr<DirectoryJob> later = m_pool->reclaimLastAfter(
                            owner->node.get(), quint32(owner->scheduled))) {
                    reclaimed(*later);
                    m_waiting.insert(later);
                }
            }
            if (m_waiting.empty())
                break;
            const std::shared_ptr<DirectoryJob> last = *std::prev(m_waiting.end());
            if (comparePlaces(owner->node.get(), quint32(owner->scheduled),
                              last->node->parent.get(), last->node->index)
                >= 0)
                break;
            unschedule(last);
        }
        withdraw(*owner);
        const size_t entry = owner->scheduled++;
        std::shared_ptr<DirectoryJob> job = makeChild(*owner, entry);
        job->ahead = true;
        job->owner = owner;
        owner->addChild(entry, job);
        m_waiting.insert(std::move(job));
        ++m_ahead;
        addOffer(owner);
    }
}

void ReadAhead::unschedule(const std::shared_ptr<DirectoryJob> &job)
{
    Q_ASSERT(job->state == DirectoryJob::State::Waiting && job->ahead);
    m_waiting.erase(job);
    --m_ahead;
    const std::shared_ptr<DirectoryJob> owner = job->owner.lock();
    if (!owner)
        return;
    withdraw(*owner);
    owner->takeChild(job->node->index);
    owner->scheduled = qMin<size_t>(owner->scheduled, job->node->index);
    addOffer(owner);
}

void ReadAhead::reclaimed(DirectoryJob &job)
{
    --m_out;
    job.parentPin.reset();
    job.parent = nullptr;
    m_cache.release();
    job.state = DirectoryJob::State::Waiting;
}

void ReadAhead::handOut()
{
    if (!m_pool)
        return;
    // On slow storage every job the read-ahead asked for is out at once, so
    // that the workers never wait for the walk's thread to hand out more. On
    // a fast disk enough that no worker runs dry while the walk's thread
    // writes lines or reads a directory itself; those it would wait for, it
    // takes back and reads.
    const size_t limit = m_context.probe.slow() ? Budget : 8 * size_t(m_pool->threads());
    while (!m_waiting.empty() && m_out < limit && !cancelled() && m_cache.reserve()) {
        const std::shared_ptr<DirectoryJob> job = *m_waiting.begin();
        Error error;
        DescriptorCache::Pin parent = m_cache.acquire(job->node->parent, &error);
        m_waiting.erase(m_waiting.begin());
        if (!parent) {
            // The walk reads it when it gets there, and says why it cannot.
            m_cache.release();
            continue;
        }
        job->parent = &parent.reader();
        job->parentPin = std::move(parent);
        job->state = DirectoryJob::State::Out;
        ++m_out;
        m_pool->submit(job);
    }
}
