// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "directorywalk.h"

#include "filelist.h"
#include "listformat.h"

#include <QByteArrayList>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace {

using Error = DirectoryReader::Error;
using Listing = DirectoryReader::Listing;
using SharedReader = std::shared_ptr<DirectoryReader>;
// A directory's place in walk order: the index of each name on its path.
using Key = std::vector<quint32>;

// Descriptors the process keeps for itself and its libraries.
constexpr int ReservedDescriptors = 24;

// Sorts a directory's entries into list order.
void sortListing(Listing *listing)
{
    struct Item {
        DirectoryReader::Entry entry;
        SortKey key;
    };
    std::vector<Item> items;
    items.reserve(listing->entries.size());
    for (const DirectoryReader::Entry &entry : listing->entries)
        items.push_back({entry, SortKey(listing->name(entry))});
    std::sort(items.begin(), items.end(),
              [](const Item &a, const Item &b) { return compareKeys(a.key, b.key) < 0; });
    for (size_t i = 0; i < items.size(); ++i)
        listing->entries[i] = items[i].entry;
}

// A stat that failed for want of permission, on a name that vanished, or on a
// link that leads nowhere is no damage: the administrator's choice, or gone.
bool statFailureIsFatal(const Error &error)
{
    return !error.isDenied() && !error.isMissing() && !error.isLinkLoop();
}

// Opening and reading one directory, done ahead by a worker or when the walk
// needs it. Once read, it also holds the read-ahead of its own
// subdirectories; that part, like the state, is guarded by the walk's lock.
struct Job {
    enum class State { Pending, Running, Done };

    SharedReader parent;
    QByteArray name; // NUL-terminated
    std::vector<QByteArray> above; // identities it must not lead back to
    Key key;
    bool ahead = false; // asked of the workers before the walk got there
    State state = State::Pending;

    SharedReader dir;
    Error error;
    bool leadsBack = false;
    Listing listing;

    std::vector<std::shared_ptr<Job>> children; // by entry, once asked for
    size_t scheduled = 0; // entries before this one have been looked at
    bool offered = false; // waiting in the walk's list of directories to read ahead from

    void run()
    {
        dir = std::make_shared<DirectoryReader>(DirectoryReader::openChild(*parent, name, &error));
        parent.reset();
        if (error.isSet())
            return;
        // A link back up is not read; the walk tells which directory it is.
        leadsBack = std::find(above.begin(), above.end(), dir->identity()) != above.end();
        if (leadsBack)
            return;
        dir->read(&listing);
        sortListing(&listing);
    }
};

} // namespace

class DirectoryWalk::Private
{
public:
    // A directory on the path being walked.
    struct Level {
        SharedReader dir; // null when the descriptor was given up
        QByteArray identity;
        QByteArray name; // the name that led here from the level above
        std::shared_ptr<Job> job; // its listing and read-ahead
        size_t next = 0;        // the next entry to hand on
        qsizetype pathSize = 0; // its path is m_path's first pathSize bytes

        const Listing &listing() const { return job->listing; }
    };

    Private(const QByteArray &root, const QStringList &excludes, int threads)
        : m_root(root), m_threads(qMax(1, threads))
    {
        for (const QString &name : excludes)
            m_excludes << name.toUtf8();
        const int spare = DirectoryReader::descriptorLimit() - ReservedDescriptors;
        m_heldLimit = size_t(qBound(2, spare / 3, 32));
        m_readAhead = m_threads == 1 ? 0 : size_t(qBound(1, spare / 3, 8 * m_threads));
    }
    ~Private() { stopWorkers(); }

    Result run(WalkSink &sink);
    Result walk(WalkSink &sink);
    // Walks into the directory at m_path, the entry just handed on.
    void enter(WalkSink &sink, size_t entry);
    bool acceptListing(WalkSink &sink, const Level &level);
    std::shared_ptr<Job> makeJob(size_t parent, size_t entry, Error *error);
    void finishJob(Job &job);
    bool isExcluded(const Job &owner, size_t entry) const;
    // The read-ahead, with m_lock held: offer() puts a read directory in line
    // to have its subdirectories read ahead, withdraw() takes it out, and
    // fill() asks the workers for the directories the walk needs soonest.
    void offer(Job &owner);
    void withdraw(Job &owner);
    void fill();
    bool reopen(size_t index, Error *error);
    // Gives up the descriptors the bound does not allow.
    void applyBound();
    // Gives up every descriptor but the top's and keep's.
    void releaseAllBut(size_t keep);
    void dropDirectory(Level &level);
    void notice(WalkSink &sink, WalkNotice::Kind kind, QByteArray path, const QString &reason,
                bool fatal, QByteArray target = {});
    void work();
    void stopWorkers();

    QByteArray m_root;
    QByteArrayList m_excludes;
    int m_threads;
    size_t m_heldLimit;
    size_t m_readAhead;
    std::atomic<bool> m_cancelled{false};

    // A deque, so that a level never moves.
    std::deque<Level> m_levels;
    std::vector<DirectoryReader::Ancestor> m_outside; // above the root
    QByteArray m_path; // of the entry being handed on
    bool m_failed = false;
    bool m_lastMissing = false;

    // Jobs wait in m_queue, soonest needed first, until a worker or the walk
    // takes them; at most m_readAhead are asked for and not yet taken by the
    // walk. m_offers holds the read directories with subdirectories not yet
    // asked for, by the place of the next one.
    std::mutex m_lock;
    std::condition_variable m_workReady;
    std::condition_variable m_jobDone;
    std::map<Key, std::shared_ptr<Job>> m_queue;
    std::map<Key, Job *> m_offers;
    std::vector<std::thread> m_workers;
    size_t m_ahead = 0;
    const Job *m_awaited = nullptr; // the job the walk waits for, if any
    bool m_stopping = false;
};

DirectoryWalk::DirectoryWalk(const QByteArray &root, const QStringList &excludes, int threads)
    : d(std::make_unique<Private>(root, excludes, threads))
{
}

DirectoryWalk::~DirectoryWalk() = default;

DirectoryWalk::Result DirectoryWalk::run(WalkSink &sink)
{
    return d->run(sink);
}

void DirectoryWalk::cancel()
{
    d->m_cancelled = true;
}

void DirectoryWalk::Private::notice(WalkSink &sink, WalkNotice::Kind kind, QByteArray path,
                                    const QString &reason, bool fatal, QByteArray target)
{
    m_failed = m_failed || fatal;
    sink.notice({kind, std::move(path), std::move(target), reason, fatal});
}

DirectoryWalk::Result DirectoryWalk::Private::run(WalkSink &sink)
{
    // The walk's own thread reads too, when what it needs is not taken yet.
    for (int i = 1; i < m_threads && m_readAhead > 0; ++i)
        m_workers.emplace_back([this] { work(); });
    const Result result = walk(sink);
    stopWorkers();
    return result;
}

DirectoryWalk::Result DirectoryWalk::Private::walk(WalkSink &sink)
{
    Error error;
    Level top;
    top.dir = std::make_shared<DirectoryReader>(DirectoryReader::open(m_root, &error));
    if (error.isSet()) {
        // Whatever keeps the source itself from being listed fails the run:
        // an empty or partial list would tell clients that files are gone.
        if (error.isMissing())
            notice(sink, WalkNotice::Kind::Missing, m_root, {}, true);
        else
            notice(sink, WalkNotice::Kind::Unreadable, m_root, error.text, true);
        return Result::Failed;
    }
    top.identity = top.dir->identity();
    m_outside = top.dir->ancestors();
    m_path = m_root;
    top.pathSize = m_path.size();
    top.job = std::make_shared<Job>();
    top.job->dir = top.dir;
    for (const DirectoryReader::Ancestor &above : m_outside)
        top.job->above.push_back(above.identity);
    top.dir->read(&top.job->listing);
    sortListing(&top.job->listing);
    if (!acceptListing(sink, top))
        return Result::Failed;
    m_levels.push_back(std::move(top));
    sink.topLevelRead(*m_levels.front().dir);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        offer(*m_levels.front().job);
        fill();
    }

    const qsizetype relativeStart = m_root.size() + 1;
    for (;;) {
        if (m_cancelled)
            return Result::Cancelled;
        Level &level = m_levels.back();
        if (level.next == level.listing().entries.size()) {
            // The top stays open: the list is written into it after the walk.
            if (m_levels.size() == 1)
                break;
            {
                std::lock_guard<std::mutex> lock(m_lock);
                withdraw(*level.job);
            }
            m_levels.pop_back();
            continue;
        }
        const size_t index = level.next++;
        const DirectoryReader::Entry &entry = level.listing().entries[index];
        const QByteArrayView name = level.listing().name(entry);
        if (m_levels.size() == 1 && m_excludes.contains(name)) {
            notice(sink, WalkNotice::Kind::Excluded, name.toByteArray(), {}, false);
            continue;
        }
        m_path.truncate(level.pathSize);
        m_path.append('/').append(name);
        const QByteArrayView relative = QByteArrayView(m_path).sliced(relativeStart);
        if (!entry.isDirectory) {
            sink.entry(FileEntry(relative, entry.modifiedSecs, entry.size));
            continue;
        }
        sink.entry(FileEntry(relative));
        // level may move once enter() adds a level.
        enter(sink, index);
    }
    return m_failed || m_lastMissing ? Result::Failed : Result::Exact;
}

void DirectoryWalk::Private::enter(WalkSink &sink, size_t entry)
{
    const size_t parent = m_levels.size() - 1;
    Job &owner = *m_levels[parent].job;
    Error error;
    std::shared_ptr<Job> job;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (entry < owner.children.size())
            job = std::move(owner.children[entry]);
        if (!job && m_readAhead > 0 && owner.scheduled <= entry) {
            // Read here and now: the read-ahead must not ask for it again.
            withdraw(owner);
            owner.scheduled = entry + 1;
            offer(owner);
        }
    }
    if (!job)
        job = makeJob(parent, entry, &error);
    if (job) {
        finishJob(*job);
        error = job->error;
        if (error.isOutOfDescriptors()) {
            // Held descriptors may be given up; then it is tried once more here.
            releaseAllBut(parent);
            job = makeJob(parent, entry, &error);
            if (job) {
                finishJob(*job);
                error = job->error;
            }
        }
    }
    // A name that vanished since its directory was read is gone anyway; the
    // run fails only when the very last directory tried is missing.
    m_lastMissing = error.isMissing();
    if (error.isMissing()) {
        notice(sink, WalkNotice::Kind::Missing, m_path, {}, false);
        return;
    }
    if (error.isSet()) {
        notice(sink, WalkNotice::Kind::Unreadable, m_path, error.text, !error.isDenied());
        return;
    }
    // A link back to a directory above would be walked without end.
    const QByteArray identity = job->dir->identity();
    QByteArray target;
    for (const Level &level : m_levels) {
        if (level.identity == identity && target.isNull())
            target = m_path.left(level.pathSize);
    }
    for (const DirectoryReader::Ancestor &above : m_outside) {
        if (above.identity == identity && target.isNull())
            target = above.path;
    }
    if (!target.isNull()) {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            withdraw(*job);
        }
        notice(sink, WalkNotice::Kind::Cycle, m_path, {}, false, target);
        return;
    }
    Level child;
    child.dir = job->dir;
    child.identity = identity;
    child.name = owner.listing.name(owner.listing.entries[entry]).toByteArray();
    child.job = std::move(job);
    child.pathSize = m_path.size();
    acceptListing(sink, child);
    m_levels.push_back(std::move(child));
    applyBound();
}

// Hands on what reading a level's directory met; false when the walk cannot go on.
bool DirectoryWalk::Private::acceptListing(WalkSink &sink, const Level &level)
{
    const QByteArray dir = m_path.left(level.pathSize);
    for (const DirectoryReader::Problem &problem : level.listing().problems) {
        switch (problem.kind) {
        case DirectoryReader::Problem::Kind::LineBreak:
            notice(sink, WalkNotice::Kind::LineBreak, dir, {}, false);
            break;
        case DirectoryReader::Problem::Kind::NotText:
            notice(sink, WalkNotice::Kind::NotText, dir, {}, false);
            break;
        case DirectoryReader::Problem::Kind::CannotStat:
            notice(sink, WalkNotice::Kind::CannotStat, dir + '/' + problem.name, problem.error.text,
                   statFailureIsFatal(problem.error));
            break;
        }
    }
    const Error &readError = level.listing().readError;
    if (readError.isSet()) {
        const bool top = m_levels.empty();
        notice(sink, WalkNotice::Kind::Unreadable, dir, readError.text, top || !readError.isDenied());
        return !top;
    }
    return true;
}

// A job the walk does itself, for a subdirectory of a level.
std::shared_ptr<Job> DirectoryWalk::Private::makeJob(size_t parent, size_t entry, Error *error)
{
    Level &level = m_levels[parent];
    if (!level.dir && !reopen(parent, error))
        return nullptr;
    auto job = std::make_shared<Job>();
    job->parent = level.dir;
    job->name = level.listing().name(level.listing().entries[entry]).toByteArray();
    for (size_t i = 0; i <= parent; ++i)
        job->above.push_back(m_levels[i].identity);
    for (const DirectoryReader::Ancestor &above : m_outside)
        job->above.push_back(above.identity);
    job->key = level.job->key;
    job->key.push_back(quint32(entry));
    return job;
}

// Waits for a job of the read-ahead, or does it here if no worker has taken
// it yet; a job made when the walk got there is done here. Either way its
// own subdirectories may then be read ahead.
void DirectoryWalk::Private::finishJob(Job &job)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (job.state == Job::State::Pending) {
        if (job.ahead)
            m_queue.erase(job.key);
        job.state = Job::State::Running;
        lock.unlock();
        job.run();
        lock.lock();
        job.state = Job::State::Done;
        if (!job.error.isSet() && !job.leadsBack)
            offer(job);
        fill();
    }
    if (job.state != Job::State::Done) {
        m_awaited = &job;
        m_jobDone.wait(lock, [&job] { return job.state == Job::State::Done; });
        m_awaited = nullptr;
    }
    if (job.ahead) {
        --m_ahead;
        fill();
    }
}

bool DirectoryWalk::Private::isExcluded(const Job &owner, size_t entry) const
{
    return owner.key.empty()
            && m_excludes.contains(owner.listing.name(owner.listing.entries[entry]));
}

void DirectoryWalk::Private::offer(Job &owner)
{
    if (m_readAhead == 0 || owner.offered || !owner.dir)
        return;
    const std::vector<DirectoryReader::Entry> &entries = owner.listing.entries;
    size_t next = owner.scheduled;
    while (next < entries.size() && (!entries[next].isDirectory || isExcluded(owner, next)))
        ++next;
    owner.scheduled = next;
    if (next == entries.size())
        return;
    Key key = owner.key;
    key.push_back(quint32(next));
    m_offers.emplace(std::move(key), &owner);
    owner.offered = true;
}

void DirectoryWalk::Private::withdraw(Job &owner)
{
    if (!owner.offered)
        return;
    Key key = owner.key;
    key.push_back(quint32(owner.scheduled));
    m_offers.erase(key);
    owner.offered = false;
}

void DirectoryWalk::Private::fill()
{
    // Waking a worker costs about as much as reading a small directory, so
    // the read-ahead is topped up in batches, once half of it was taken.
    if (m_ahead + m_readAhead / 4 > m_readAhead || m_stopping)
        return;
    size_t added = 0;
    while (m_ahead < m_readAhead && !m_offers.empty()) {
        Job &owner = *m_offers.begin()->second;
        withdraw(owner);
        const size_t entry = owner.scheduled++;
        auto job = std::make_shared<Job>();
        job->parent = owner.dir;
        job->name = owner.listing.name(owner.listing.entries[entry]).toByteArray();
        job->above = owner.above;
        job->above.push_back(owner.dir->identity());
        job->key = owner.key;
        job->key.push_back(quint32(entry));
        job->ahead = true;
        if (owner.children.empty())
            owner.children.resize(owner.listing.entries.size());
        owner.children[entry] = job;
        m_queue.emplace(job->key, job);
        ++m_ahead;
        ++added;
        offer(owner);
    }
    if (added > 0)
        m_workReady.notify_all();
}

void DirectoryWalk::Private::work()
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_workReady.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return;
        const std::shared_ptr<Job> job = m_queue.begin()->second;
        m_queue.erase(m_queue.begin());
        job->state = Job::State::Running;
        lock.unlock();
        job->run();
        lock.lock();
        job->state = Job::State::Done;
        if (!job->error.isSet() && !job->leadsBack)
            offer(*job);
        fill();
        if (m_awaited == job.get())
            m_jobDone.notify_one();
    }
}

void DirectoryWalk::Private::stopWorkers()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stopping = true;
        m_queue.clear();
        m_offers.clear();
    }
    m_workReady.notify_all();
    for (std::thread &worker : m_workers)
        worker.join();
    m_workers.clear();
}

// Opens a level again from its nearest open ancestor, one name at a time,
// and makes sure each is still the directory that was walked into.
bool DirectoryWalk::Private::reopen(size_t index, Error *error)
{
    size_t base = index;
    while (!m_levels[base].dir)
        --base; // the top always stays open
    SharedReader current = m_levels[base].dir;
    for (size_t i = base + 1; i <= index; ++i) {
        DirectoryReader next = DirectoryReader::openChild(*current, m_levels[i].name, error);
        if (error->isOutOfDescriptors()) {
            releaseAllBut(base);
            next = DirectoryReader::openChild(*current, m_levels[i].name, error);
        }
        if (error->isSet())
            return false;
        if (next.identity() != m_levels[i].identity) {
            *error = {-1, QStringLiteral("it was moved during the walk")};
            return false;
        }
        current = std::make_shared<DirectoryReader>(std::move(next));
    }
    m_levels[index].dir = std::move(current);
    return true;
}

// A level gives up its descriptor, and with it the read-ahead of its
// remaining subdirectories; the descriptor closes once no job needs it.
void DirectoryWalk::Private::dropDirectory(Level &level)
{
    std::lock_guard<std::mutex> lock(m_lock);
    withdraw(*level.job);
    level.job->dir.reset();
    level.dir.reset();
}

void DirectoryWalk::Private::applyBound()
{
    // The deepest levels are the ones the walk opens children from next.
    size_t held = 0;
    for (size_t i = m_levels.size(); i-- > 1;) {
        if (m_levels[i].dir && ++held > m_heldLimit)
            dropDirectory(m_levels[i]);
    }
}

void DirectoryWalk::Private::releaseAllBut(size_t keep)
{
    for (size_t i = 1; i < m_levels.size(); ++i) {
        if (i != keep && m_levels[i].dir)
            dropDirectory(m_levels[i]);
    }
}
