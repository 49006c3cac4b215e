// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "directorywalk.h"

#include "descriptorcache.h"
#include "readahead.h"
#include "walkpolicy.h"

#include <atomic>
#include <mutex>
#include <new>
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
        bool hasSubdirectories = false; // and so may be offered to the read-ahead
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
    // Walks into the subdirectory at entry of the deepest level, whose path
    // m_path holds.
    void enter(WalkSink &sink, size_t entry);
    // Leaves the deepest level for the one above.
    void leave();
    // Hands on what reading a directory met; false when the walk cannot go on.
    bool acceptListing(WalkSink &sink, const DirectoryJob &job, qsizetype pathSize, WalkPlace place);
    void notice(WalkSink &sink, WalkNotice::Kind kind, QByteArray path, const QString &reason,
                bool fatal, QByteArray target = {});
    void pinDeepest();

    const QByteArray m_root;
    QByteArrayList m_excludes;
    const QByteArrayList m_unlisted;
    const int m_threads;
    std::atomic<bool> m_cancelled{false};

    // The source stays open after the walk, for the list to be written into.
    std::unique_ptr<DescriptorCache> m_cache;
    DescriptorCache::Pin m_source;
    std::vector<DirectoryReader::Ancestor> m_outside; // above the source

    // Guards m_readAhead for cancel() from another thread.
    std::mutex m_readAheadLock;
    ReadAhead *m_readAhead = nullptr;

    std::vector<Level> m_levels;
    std::shared_ptr<DirectoryNode> m_left; // the level the walk last came back from
    QByteArray m_path; // of the entry being handed on
    bool m_failed = false;
    bool m_lastMissing = false;
    bool m_outOfMemory = false;
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
    try {
        result = d->walk(sink);
    } catch (const std::bad_alloc &) {
        d->m_outOfMemory = true;
    }
    // The read-ahead is gone by now; what the levels hold goes with it.
    d->m_levels.clear();
    d->m_left.reset();
    if (d->m_outOfMemory) {
        d->notice(sink, WalkNotice::Kind::OutOfMemory, d->m_root, {}, true);
        return Result::Failed;
    }
    return result;
}

void DirectoryWalk::cancel()
{
    d->m_cancelled = true;
    std::lock_guard<std::mutex> lock(d->m_readAheadLock);
    if (d->m_readAhead)
        d->m_readAhead->cancel();
}

void DirectoryWalk::Private::notice(WalkSink &sink, WalkNotice::Kind kind, QByteArray path,
                                    const QString &reason, bool fatal, QByteArray target)
{
    m_failed = m_failed || fatal;
    sink.notice({kind, std::move(path), std::move(target), reason, fatal, m_root.size()});
}

DirectoryWalk::Result DirectoryWalk::Private::walk(WalkSink &sink)
{
    Error error;
    DirectoryReader source = DirectoryReader::open(m_root, &error);
    if (error.isSet()) {
        if (error.cause() == Error::Cause::Missing)
            notice(sink, WalkNotice::Kind::Missing, m_root, {}, true);
        else
            notice(sink, WalkNotice::Kind::Unreadable, m_root, error.text, true);
        return Result::Failed;
    }
    if (!sink.sourceOpened(source) || m_cancelled)
        return Result::Cancelled;
    m_outside = source.ancestors();
    m_cache = std::make_unique<DescriptorCache>(size_t(descriptorBudget()));
    const auto sourceNode = std::make_shared<DirectoryNode>(nullptr, m_root, 0);
    m_source = m_cache->adopt(sourceNode, std::move(source));

    // Neither the excluded names nor the unlisted ones are read ahead.
    ReadAhead readAhead(*m_cache, m_outside, m_excludes + m_unlisted, m_threads, MaxThreads);
    struct Registration {
        Private *d;
        ~Registration()
        {
            d->m_readAhead->stop();
            std::lock_guard<std::mutex> lock(d->m_readAheadLock);
            d->m_readAhead = nullptr;
        }
    };
    {
        std::lock_guard<std::mutex> lock(m_readAheadLock);
        m_readAhead = &readAhead;
        if (m_cancelled)
            readAhead.cancel();
    }
    const Registration registration{this};
    readAhead.start();

    const auto top = std::make_shared<DirectoryJob>(sourceNode);
    readAhead.readSource(top, m_source);
    if (m_cancelled)
        return Result::Cancelled;
    m_path = m_root;
    if (!acceptListing(sink, *top, m_path.size(), WalkPlace::Source))
        return Result::Failed;
    sink.topLevelRead(m_source.reader());
    const size_t topDirectories = directoriesIn(top->listing);
    m_levels.push_back({top, {}, 0, topDirectories, topDirectories > 0, m_path.size()});
    readAhead.offer(*top);

    const qsizetype relativeStart = m_root.size() + 1;
    for (;;) {
        if (m_cancelled)
            return Result::Cancelled;
        if (readAhead.ranOutOfMemory()) {
            m_outOfMemory = true;
            return Result::Failed;
        }
        Level &level = m_levels.back();
        if (level.next == level.listing().entries.size()) {
            if (m_levels.size() == 1)
                break;
            leave();
            continue;
        }
        const size_t index = level.next++;
        const Entry &entry = level.listing().entries[index];
        const QByteArrayView name = level.listing().name(entry);
        if (m_levels.size() == 1) {
            if (m_excludes.contains(name)) {
                notice(sink, WalkNotice::Kind::Excluded, name.toByteArray(), {}, false);
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
        enter(sink, index);
    }
    return m_failed || m_lastMissing ? Result::Failed : Result::Exact;
}

void DirectoryWalk::Private::enter(WalkSink &sink, size_t entry)
{
    Level &parent = m_levels.back();
    const std::shared_ptr<DirectoryJob> job = m_readAhead->take(*parent.job, entry, m_left);
    m_left.reset();
    if (job->state != DirectoryJob::State::Done)
        return; // cancelled, or memory ran out: the walk ends
    const Error &error = job->error;
    // A name that vanished since its directory was read is gone anyway; the
    // run fails only when the very last directory tried is missing.
    m_lastMissing = error.cause() == Error::Cause::Missing;
    if (error.isSet()) {
        const bool fatal = failsRun(WalkPlace::OpenSubdirectory, error.cause());
        if (m_lastMissing)
            notice(sink, WalkNotice::Kind::Missing, m_path, {}, fatal);
        else
            notice(sink, WalkNotice::Kind::Unreadable, m_path, error.text, fatal);
        return;
    }
    // A link back to a directory above would be walked without end.
    if (job->leadsBackTo >= 0 || job->leadsOutside >= 0) {
        const QByteArray target = job->leadsBackTo >= 0
                ? m_path.left(m_levels[size_t(job->leadsBackTo)].pathSize)
                : m_outside[size_t(job->leadsOutside)].path;
        notice(sink, WalkNotice::Kind::Cycle, m_path, {}, false, target);
        return;
    }
    acceptListing(sink, *job, m_path.size(), WalkPlace::ReadSubdirectory);
    parent.dir.reset();
    const size_t directories = directoriesIn(job->listing);
    m_levels.push_back({job, {}, 0, directories, directories > 0, m_path.size()});
    if (directories > 0) {
        m_readAhead->offer(*job);
        pinDeepest();
    }
}

void DirectoryWalk::Private::leave()
{
    if (m_levels.back().hasSubdirectories)
        m_readAhead->withdraw(*m_levels.back().job);
    m_left = m_levels.back().job->node;
    m_levels.pop_back();
    if (m_levels.back().subdirectoriesLeft > 0) {
        pinDeepest();
        // Its offer may have been dropped while the walk was further down.
        m_readAhead->offer(*m_levels.back().job);
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

bool DirectoryWalk::Private::acceptListing(WalkSink &sink, const DirectoryJob &job,
                                           qsizetype pathSize, WalkPlace place)
{
    const QByteArray dir = m_path.left(pathSize);
    for (const DirectoryReader::Problem &problem : job.listing.problems) {
        switch (problem.kind) {
        case DirectoryReader::Problem::Kind::LineBreak:
            notice(sink, WalkNotice::Kind::LineBreak, dir, {}, false);
            break;
        case DirectoryReader::Problem::Kind::NotText:
            notice(sink, WalkNotice::Kind::NotText, dir, {}, false);
            break;
        case DirectoryReader::Problem::Kind::CannotStat:
            notice(sink, WalkNotice::Kind::CannotStat, dir + '/' + problem.name, problem.error.text,
                   failsRun(WalkPlace::LookAtEntry, problem.error.cause()));
            break;
        }
    }
    const Error &readError = job.listing.readError;
    if (readError.isSet()) {
        notice(sink, WalkNotice::Kind::Unreadable, dir, readError.text,
               failsRun(place, readError.cause()));
        return place != WalkPlace::Source;
    }
    return true;
}
