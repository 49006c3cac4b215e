// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "directorywalk.h"

// The walk's parts, one file each; only this one and the read-ahead run on
// the walk's thread alone, the others say who may touch what:
// - directorywalk: down and up the tree in list order, handing entries and
//   notices to the sink, with the identities of its path at hand;
// - readahead: which directories are read, when and by whom: the budget,
//   reading here what the walk needs and nobody started, the one wait;
//   readaheadoffers: the directories whose subdirectories may be asked for;
// - workerpool: the threads and the one queue of jobs they read, grown by
//   what storageprobe learns of the storage;
// - directoryjob: one directory read: opened below its parent, listed, its
//   entries looked at in chunks (entrychunks) and sorted (listing), with
//   what reading needs (readcontext);
// - descriptorcache: the open directories, a descriptor reserved for each
//   job before it is handed out;
// - directorynode: the tree met so far, and the order of places in it;
// - directoryreader: the system calls, one file per platform.

#include "descriptorcache.h"
#include "readahead.h"
#include "storageprobe.h"
#include "walkpolicy.h"
#include "workerpool.h"

#include <atomic>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

namespace {

using Error = DirectoryReader::Error;
using Entry = DirectoryReader::Entry;

// Descriptors the process keeps for itself and its libraries, the list file
// among them; the walk's directories share the rest.
int descriptorBudget()
{
    const int limit = DirectoryReader::descriptorLimit();
    return qMax(2, limit - qMin(24, limit / 2));
}

size_t directoriesIn(const DirectoryReader::Listing &listing)
{
    size_t count = 0;
    for (const Entry &entry : listing.entries)
        count += entry.kind == Entry::Kind::Directory;
    return count;
}

// Entries handed on between two looks at what the workers read meanwhile.
constexpr size_t PollInterval = 1024;

} // namespace

class DirectoryWalk::Private
{
public:
    // A directory on the path being walked; its depth is its index.
    struct Level {
        std::shared_ptr<DirectoryJob> job; // its listing and read-ahead
        DescriptorCache::Pin dir; // held while it is the deepest level and has subdirectories left
        size_t next = 0;          // the next entry to hand on
        size_t subdirectoriesLeft = 0;
        qsizetype pathSize = 0;   // its path is m_path's first pathSize bytes

        const DirectoryReader::Listing &listing() const { return job->listing; }
    };

    Private(const QByteArray &root, const QStringList &excludes, const QByteArrayList &unlisted,
            int threads)
        : m_root(root), m_unlisted(unlisted), m_threads(threads)
    {
        for (const QString &name : excludes)
            m_excludes << name.toUtf8();
    }

    Result walk(WalkSink &sink);
    // From the source's listing, top, to the end of the tree.
    Result walkTree(WalkSink &sink, ReadAhead &readAhead, const std::shared_ptr<DirectoryJob> &top);
    // Walks into the subdirectory at entry of the deepest level, whose path
    // m_path holds.
    void enter(WalkSink &sink, ReadAhead &readAhead, size_t entry);
    // Leaves the deepest level for the one above.
    void leave(ReadAhead &readAhead);
    // Every failure of reading the directory at m_path, the source's
    // included, and what else reading it met, handed on; false when there is
    // no listing to walk. place: where opening it is.
    bool acceptListing(WalkSink &sink, DirectoryJob &job, WalkPlace place);
    void notice(WalkSink &sink, WalkNotice notice);
    void notice(WalkSink &sink, WalkNotice::Kind kind, QByteArray path, bool fatal,
                const Error &error = {}, QByteArray target = {});
    void pinDeepest();

    const QByteArray m_root;
    QByteArrayList m_excludes;
    const QByteArrayList m_unlisted;
    const int m_threads;
    // The one cancel flag of the walk, its workers included.
    std::atomic<bool> m_cancelled{false};

    // The source stays open after the walk, for the list to be written into.
    std::unique_ptr<DescriptorCache> m_cache;
    DescriptorCache::Pin m_source;
    std::vector<DirectoryReader::Ancestor> m_outside; // above the source

    // Guards m_pool for cancel() from another thread.
    std::mutex m_poolLock;
    WorkerPool *m_pool = nullptr;

    std::vector<Level> m_levels;
    // The identities of the levels, with their depths: a directory met again
    // on its own path is not entered.
    std::unordered_map<DirectoryReader::Identity, int, DirectoryReader::Identity::Hash> m_onPath;
    std::shared_ptr<DirectoryNode> m_left; // the level the walk last came back from
    QByteArray m_path; // of the entry being handed on
    bool m_failed = false;
    bool m_lastMissing = false;
};

DirectoryWalk::DirectoryWalk(const QByteArray &root, const QStringList &excludes,
                             const QByteArrayList &unlisted, int threads)
    : d(std::make_unique<Private>(root, excludes, unlisted, threads))
{
}

DirectoryWalk::~DirectoryWalk() = default;

DirectoryWalk::Result DirectoryWalk::run(WalkSink &sink)
{
    Result result = Result::Failed;
    bool outOfMemory = false;
    try {
        result = d->walk(sink);
    } catch (const std::bad_alloc &) {
        outOfMemory = true;
    }
    // The workers are gone by now; what the levels hold goes with them.
    d->m_levels.clear();
    d->m_onPath.clear();
    d->m_left.reset();
    if (outOfMemory) {
        d->notice(sink, WalkNotice::Kind::OutOfMemory, d->m_root, true);
        return Result::Failed;
    }
    return result;
}

void DirectoryWalk::cancel()
{
    d->m_cancelled = true;
    std::lock_guard<std::mutex> lock(d->m_poolLock);
    if (d->m_pool)
        d->m_pool->wake();
}

void DirectoryWalk::cancelFromSignal() noexcept
{
    static_assert(std::atomic<bool>::is_always_lock_free);
    d->m_cancelled.store(true, std::memory_order_relaxed);
}

bool DirectoryWalk::isCancelled() const
{
    return d->m_cancelled.load();
}

void DirectoryWalk::Private::notice(WalkSink &sink, WalkNotice notice)
{
    m_failed = m_failed || notice.fatal;
    notice.rootSize = m_root.size();
    sink.notice(notice);
}

void DirectoryWalk::Private::notice(WalkSink &sink, WalkNotice::Kind kind, QByteArray path,
                                    bool fatal, const Error &error, QByteArray target)
{
    notice(sink, {kind, std::move(path), std::move(target), error, fatal});
}

DirectoryWalk::Result DirectoryWalk::Private::walk(WalkSink &sink)
{
    const auto sourceNode = std::make_shared<DirectoryNode>(nullptr, m_root, 0);
    const auto top = std::make_shared<DirectoryJob>(sourceNode);
    m_path = m_root;
    DirectoryReader source = DirectoryReader::open(m_root, &top->error);
    if (!acceptListing(sink, *top, WalkPlace::Source))
        return Result::Failed;
    if (!sink.sourceOpened(source) || m_cancelled)
        return Result::Cancelled;
    m_outside = source.ancestors();
    m_cache = std::make_unique<DescriptorCache>(size_t(descriptorBudget()));
    m_source = m_cache->adopt(sourceNode, std::move(source));

    StorageProbe probe(m_threads != 1);
    std::unique_ptr<WorkerPool> pool;
    ReadContext context{m_outside, probe, nullptr, m_cancelled};
    if (m_threads != 1) {
        pool = std::make_unique<WorkerPool>(context, m_threads, MaxThreads);
        // No thread to be had: the walk reads everything itself, as with one.
        if (!pool->start())
            pool.reset();
        context.helpers = pool.get();
    }
    // Neither the excluded names nor the unlisted ones are read ahead.
    ReadAhead readAhead(*m_cache, context, pool.get(), m_excludes + m_unlisted);
    struct Registration {
        Private *d;
        ~Registration()
        {
            std::lock_guard<std::mutex> lock(d->m_poolLock);
            d->m_pool = nullptr;
        }
    };
    {
        std::lock_guard<std::mutex> lock(m_poolLock);
        m_pool = pool.get();
    }
    const Registration registration{this};

    readAhead.readSource(*top, m_source.reader());
    const Result result = m_cancelled ? Result::Cancelled : walkTree(sink, readAhead, top);
    const bool idle = readAhead.stop();
    Q_ASSERT(result == Result::Cancelled || idle);
    Q_UNUSED(idle);
    Q_ASSERT(m_cache->reserved() == 0);
    return result;
}

DirectoryWalk::Result DirectoryWalk::Private::walkTree(WalkSink &sink, ReadAhead &readAhead,
                                                       const std::shared_ptr<DirectoryJob> &top)
{
    if (!acceptListing(sink, *top, WalkPlace::Source))
        return Result::Failed;
    sink.topLevelRead(m_source.reader());
    m_levels.push_back({top, {}, 0, directoriesIn(top->listing), m_path.size()});
    m_onPath.emplace(top->node->identity, 0);
    readAhead.offer(top);

    const qsizetype relativeStart = m_root.size() + 1;
    size_t sincePoll = 0;
    for (;;) {
        if (m_cancelled)
            return Result::Cancelled;
        if (++sincePoll == PollInterval) {
            sincePoll = 0;
            readAhead.poll();
        }
        Level &level = m_levels.back();
        if (level.next == size_t(level.listing().entries.size())) {
            if (m_levels.size() == 1)
                break;
            leave(readAhead);
            continue;
        }
        const size_t index = level.next++;
        const Entry &entry = level.listing().entries[index];
        const QByteArrayView name = level.listing().name(entry);
        if (m_levels.size() == 1) {
            if (m_excludes.contains(name)) {
                notice(sink, WalkNotice::Kind::Excluded, name.toByteArray(), false);
                continue;
            }
            if (m_unlisted.contains(name))
                continue;
        }
        m_path.truncate(level.pathSize);
        m_path.append('/').append(name);
        const QByteArrayView relative = QByteArrayView(m_path).sliced(relativeStart);
        if (entry.kind == Entry::Kind::File) {
            sink.entry(FileEntry(relative, entry.modifiedSecs, entry.size));
            continue;
        }
        --level.subdirectoriesLeft;
        sink.entry(FileEntry(relative));
        // level may move once enter() adds a level.
        enter(sink, readAhead, index);
    }
    return m_failed || m_lastMissing ? Result::Failed : Result::Exact;
}

void DirectoryWalk::Private::enter(WalkSink &sink, ReadAhead &readAhead, size_t entry)
{
    Level &parent = m_levels.back();
    const std::shared_ptr<DirectoryJob> job = readAhead.take(parent.job, entry, m_left);
    m_left.reset();
    if (job->state != DirectoryJob::State::Done)
        return; // cancelled: the walk ends
    // A name that vanished since its directory was read is gone anyway; the
    // run fails only when the very last directory tried is missing.
    m_lastMissing = job->error.cause() == Error::Cause::Missing;
    if (!job->error.isSet() && !job->leadsBack()) {
        const auto up = m_onPath.find(job->identity);
        if (up != m_onPath.end()) {
            // Read, and perhaps read below, before the walk knew.
            job->leadsBackTo = up->second;
            readAhead.drop(*job);
        }
    }
    if (job->leadsBack()) {
        const QByteArray target = job->leadsBackTo >= 0
                ? m_path.left(m_levels[size_t(job->leadsBackTo)].pathSize)
                : m_outside[size_t(job->leadsOutside)].path;
        notice(sink, WalkNotice::Kind::Cycle, m_path, false, {}, target);
        return;
    }
    if (!acceptListing(sink, *job, WalkPlace::OpenSubdirectory))
        return;
    parent.dir.reset();
    const size_t directories = directoriesIn(job->listing);
    m_onPath.emplace(job->identity, int(m_levels.size()));
    m_levels.push_back({job, {}, 0, directories, m_path.size()});
    if (directories > 0) {
        readAhead.offer(job);
        pinDeepest();
    }
}

void DirectoryWalk::Private::leave(ReadAhead &readAhead)
{
    readAhead.withdraw(*m_levels.back().job);
    m_left = m_levels.back().job->node;
    m_onPath.erase(m_left->identity);
    m_levels.pop_back();
    if (m_levels.back().subdirectoriesLeft > 0) {
        pinDeepest();
        // Its offer may have been dropped while the walk was further down.
        readAhead.offer(m_levels.back().job);
    }
}

// The deepest level's subdirectories are opened from it, by the walk or
// ahead of it: it is kept open while any are left. Coming back up, it may
// be reopened from the level just left.
void DirectoryWalk::Private::pinDeepest()
{
    Level &level = m_levels.back();
    if (level.dir || level.subdirectoriesLeft == 0 || m_levels.size() == 1)
        return;
    Error error;
    // Should it fail, opening the subdirectory will tell why.
    level.dir = m_cache->acquire(level.job->node, &error, m_left);
}

bool DirectoryWalk::Private::acceptListing(WalkSink &sink, DirectoryJob &job, WalkPlace place)
{
    // It could not be read at all (opened, or memory ran out): the source's
    // failures are its subdirectories', but every one of them fails the run.
    const Error &error = job.error;
    if (error.isSet()) {
        const bool fatal = failsRun(place, error.cause());
        if (error.cause() == Error::Cause::Missing)
            notice(sink, WalkNotice::Kind::Missing, m_path, fatal);
        else
            notice(sink, WalkNotice::Kind::Unreadable, m_path, fatal, error);
        return false;
    }
    for (WalkNotice &problem : job.listing.problems) {
        // The reader names the entry; the walk puts the directory in front.
        problem.path = problem.path.isEmpty() ? m_path : m_path + '/' + problem.path;
        problem.fatal = problem.kind == WalkNotice::Kind::CannotStat
                && failsRun(WalkPlace::LookAtEntry, problem.error.cause());
        notice(sink, std::move(problem));
    }
    job.listing.problems.clear();
    // Reading stopped part-way: what was read of a subdirectory is listed.
    const Error &readError = job.listing.readError;
    if (readError.isSet()) {
        const WalkPlace readPlace = place == WalkPlace::Source ? place : WalkPlace::ReadSubdirectory;
        notice(sink, WalkNotice::Kind::Unreadable, m_path, failsRun(readPlace, readError.cause()),
               readError);
        return place != WalkPlace::Source;
    }
    return true;
}
