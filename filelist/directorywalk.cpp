// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "directorywalk.h"

#include "filelist.h"
#include "listformat.h"

#include <QByteArrayList>

#include <algorithm>
#include <deque>

namespace {

using Error = DirectoryReader::Error;
using Listing = DirectoryReader::Listing;

// Directories below the top that keep their descriptor while the walk is
// below them; deeper ones are reopened when the walk comes back up.
constexpr size_t HeldDirectories = 32;

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

} // namespace

class DirectoryWalk::Private
{
public:
    // A directory on the path being walked.
    struct Level {
        DirectoryReader dir; // closed when the descriptor was given up
        QByteArray identity;
        QByteArray name; // the name that led here from the level above
        Listing listing;
        size_t next = 0;       // the next entry to hand on
        qsizetype pathSize = 0; // its path is m_path's first pathSize bytes
    };

    Private(const QByteArray &root, const QStringList &excludes, int threads)
        : m_root(root), m_threads(threads)
    {
        for (const QString &name : excludes)
            m_excludes << name.toUtf8();
    }

    Result run(WalkSink &sink);
    // Opens, checks and reads the directory at m_path, the entry just handed
    // on; true when it is to be walked.
    bool enter(WalkSink &sink, QByteArrayView name);
    bool readLevel(WalkSink &sink, Level *level);
    DirectoryReader openChild(size_t parent, QByteArrayView name, Error *error);
    bool reopen(size_t index, Error *error);
    // Gives up the descriptors the bound does not allow.
    void applyBound();
    // Gives up every descriptor but the top's and keep's.
    void releaseAllBut(size_t keep);
    void notice(WalkSink &sink, WalkNotice::Kind kind, QByteArray path, const QString &reason,
                bool fatal, QByteArray target = {});

    QByteArray m_root;
    QByteArrayList m_excludes;
    int m_threads;
    std::atomic<bool> m_cancelled{false};

    // A deque, so that a level never moves: the list file is written into
    // the top one.
    std::deque<Level> m_levels;
    std::vector<DirectoryReader::Ancestor> m_outside; // above the root
    QByteArray m_path; // of the entry being handed on
    bool m_failed = false;
    bool m_lastMissing = false;
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
    Error error;
    Level top;
    top.dir = DirectoryReader::open(m_root, &error);
    if (error.isSet()) {
        // Whatever keeps the source itself from being listed fails the run:
        // an empty or partial list would tell clients that files are gone.
        if (error.isMissing())
            notice(sink, WalkNotice::Kind::Missing, m_root, {}, true);
        else
            notice(sink, WalkNotice::Kind::Unreadable, m_root, error.text, true);
        return Result::Failed;
    }
    top.identity = top.dir.identity();
    m_outside = top.dir.ancestors();
    m_path = m_root;
    top.pathSize = m_path.size();
    if (!readLevel(sink, &top))
        return Result::Failed;
    m_levels.push_back(std::move(top));
    sink.topLevelRead(m_levels.front().dir);

    const qsizetype relativeStart = m_root.size() + 1;
    for (;;) {
        if (m_cancelled)
            return Result::Cancelled;
        Level &level = m_levels.back();
        if (level.next == level.listing.entries.size()) {
            // The top stays open: the list is written into it after the walk.
            if (m_levels.size() == 1)
                break;
            m_levels.pop_back();
            continue;
        }
        const DirectoryReader::Entry &entry = level.listing.entries[level.next++];
        const QByteArrayView name = level.listing.name(entry);
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
        enter(sink, name);
    }
    return m_failed || m_lastMissing ? Result::Failed : Result::Exact;
}

bool DirectoryWalk::Private::enter(WalkSink &sink, QByteArrayView name)
{
    Error error;
    Level child;
    child.dir = openChild(m_levels.size() - 1, name, &error);
    // A name that vanished since its directory was read is gone anyway; the
    // run fails only when the very last directory tried is missing.
    m_lastMissing = error.isMissing();
    if (error.isMissing()) {
        notice(sink, WalkNotice::Kind::Missing, m_path, {}, false);
        return false;
    }
    if (error.isSet()) {
        notice(sink, WalkNotice::Kind::Unreadable, m_path, error.text, !error.isDenied());
        return false;
    }
    child.identity = child.dir.identity();
    // A link back to a directory above would be walked without end.
    for (const Level &level : m_levels) {
        if (level.identity == child.identity) {
            notice(sink, WalkNotice::Kind::Cycle, m_path, {}, false, m_path.left(level.pathSize));
            return false;
        }
    }
    for (const DirectoryReader::Ancestor &above : m_outside) {
        if (above.identity == child.identity) {
            notice(sink, WalkNotice::Kind::Cycle, m_path, {}, false, above.path);
            return false;
        }
    }
    child.name = name.toByteArray();
    child.pathSize = m_path.size();
    readLevel(sink, &child);
    m_levels.push_back(std::move(child));
    applyBound();
    return true;
}

// Reads and sorts a level's directory and hands on what reading met.
bool DirectoryWalk::Private::readLevel(WalkSink &sink, Level *level)
{
    level->dir.read(&level->listing);
    const QByteArray dir = m_path.left(level->pathSize);
    for (const DirectoryReader::Problem &problem : level->listing.problems) {
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
    const Error &error = level->listing.readError;
    if (error.isSet()) {
        const bool top = m_levels.empty();
        notice(sink, WalkNotice::Kind::Unreadable, dir, error.text, top || !error.isDenied());
        if (top)
            return false;
    }
    sortListing(&level->listing);
    return true;
}

DirectoryReader DirectoryWalk::Private::openChild(size_t parent, QByteArrayView name, Error *error)
{
    if (!m_levels[parent].dir.isOpen() && !reopen(parent, error))
        return DirectoryReader();
    DirectoryReader child = DirectoryReader::openChild(m_levels[parent].dir, name, error);
    if (error->isOutOfDescriptors()) {
        releaseAllBut(parent);
        child = DirectoryReader::openChild(m_levels[parent].dir, name, error);
    }
    return child;
}

// Opens a level again from its nearest open ancestor, one name at a time,
// and makes sure each is still the directory that was walked into.
bool DirectoryWalk::Private::reopen(size_t index, Error *error)
{
    size_t base = index;
    while (!m_levels[base].dir.isOpen())
        --base; // the top always stays open
    DirectoryReader current;
    for (size_t i = base + 1; i <= index; ++i) {
        const DirectoryReader &from = i == base + 1 ? m_levels[base].dir : current;
        DirectoryReader next = DirectoryReader::openChild(from, m_levels[i].name, error);
        if (error->isOutOfDescriptors()) {
            releaseAllBut(base);
            next = DirectoryReader::openChild(from, m_levels[i].name, error);
        }
        if (error->isSet())
            return false;
        if (next.identity() != m_levels[i].identity) {
            *error = {-1, QStringLiteral("it was moved during the walk")};
            return false;
        }
        current = std::move(next);
    }
    m_levels[index].dir = std::move(current);
    return true;
}

void DirectoryWalk::Private::applyBound()
{
    // The deepest levels are the ones the walk opens children from next.
    size_t held = 0;
    for (size_t i = m_levels.size(); i-- > 1;) {
        if (m_levels[i].dir.isOpen() && ++held > HeldDirectories)
            m_levels[i].dir.close();
    }
}

void DirectoryWalk::Private::releaseAllBut(size_t keep)
{
    for (size_t i = 1; i < m_levels.size(); ++i) {
        if (i != keep)
            m_levels[i].dir.close();
    }
}
