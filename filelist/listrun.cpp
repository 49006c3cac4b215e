// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "listrun.h"

#include "directorywalk.h"
#include "fileentry.h"
#include "filesystemroot.h"
#include "listchanges.h"
#include "listfile.h"
#include "listformat.h"
#include "localclock.h"
#include "messages.h"
#include "runlock.h"

#include <QDir>

#include <chrono>
#include <exception>
#include <new>
#include <optional>
#include <thread>

namespace {

// How often a run that waits for another looks whether that one is done.
constexpr std::chrono::milliseconds LockPoll{100};

// A directory closed to the program keeps its line, but what is below it is
// not in the list: clients will delete it there. The outcome line counts them.
bool leavesDirectoryOut(const WalkNotice &notice)
{
    return notice.kind == WalkNotice::Kind::Unreadable && !notice.fatal;
}

} // namespace

// Writes the list as the walk hands on its entries. The new file is created
// only once the top level has been read, so that a list file or a new file
// left there by an earlier run is listed as the walk met it. A list that
// cannot be created or written will not be saved whatever the walk finds, so
// the first failure to write stops the walk at once (a read-only share is
// known before the top level's first entry, not hours later); it is told at
// the end, unless the walk had failed already, which then fails the run for
// that reason alone, as it would have before writing. What the new list
// changes is followed line by line (ListChanges). Everything here runs on
// the walk's own thread.
class ListRun::Writer : public WalkSink
{
public:
    explicit Writer(ListRun &run)
        : m_run(run),
          m_changes(run.m_settings, QString::fromUtf8(run.m_source) + QDir::separator()
                                            + QLatin1String(ListFile::Name))
    {
        m_buffer.reserve(Chunk + 4096);
    }

    // Another run may be writing its list here: it is waited for before
    // anything is read, so that this run lists what that one leaves. Where
    // the file system cannot lock, runs are not kept apart, as before there
    // was a lock, rather than not run at all.
    bool sourceOpened(const DirectoryReader &source) override
    {
        const QString dir = QString::fromUtf8(m_run.m_source);
        SystemError error;
        for (;;) {
            const RunLock::State state = m_lock.tryTake(source, &error);
            if (state != RunLock::State::Held) {
                m_run.m_waiting = false;
                if (state == RunLock::State::Unavailable)
                    debugLine(Message::cannotLock(dir, error.text()));
                return m_changes.holdsMarker(source, dir, &m_run.m_heldBack);
            }
            if (!m_run.m_waiting.exchange(true))
                debugLine(Message::waiting(dir));
            if (m_run.m_walk->isCancelled())
                return false;
            std::this_thread::sleep_for(LockPoll);
        }
    }

    void topLevelRead(const DirectoryReader &root) override
    {
        m_file.emplace(root, ListFile::NewName);
        qint64 oldSize = -1;
        if (!m_file->create(ListFile::Name, &oldSize, &m_error))
            stopWriting();
        m_run.m_oldSize.store(oldSize, std::memory_order_relaxed);
        if (m_file)
            m_changes.comparePrevious(root, oldSize);
    }

    void entry(const FileEntry &entry) override
    {
        m_run.m_listed.fetch_add(1, std::memory_order_relaxed);
        if (!m_file)
            return;
        const qsizetype start = m_buffer.size();
        appendListLine(m_buffer, entry, m_clock);
        ++m_run.m_lines;
        m_changes.add(entry, QByteArrayView(m_buffer).sliced(start, m_buffer.size() - start - 2));
        m_run.m_written.store(m_flushed + m_buffer.size(), std::memory_order_relaxed);
        if (m_buffer.size() >= Chunk)
            flush();
    }

    void notice(const WalkNotice &notice) override
    {
        if (leavesDirectoryOut(notice))
            ++m_run.m_unreadDirectories;
        debugLine(notice.text());
    }

    // Whether the list could not be created or written: the walk was stopped.
    bool failed() const { return m_failed; }
    // Writes the rest and syncs; the file is then complete, and so is the
    // comparison with the previous list.
    bool finish()
    {
        flush();
        if (m_file && m_file->finish(&m_error)) {
            m_changes.finish(*m_run.m_walk);
            return true;
        }
        m_file.reset();
        return false;
    }
    ListChanges &changes() { return m_changes; }
    bool renameOver(ListFile::Error *error) { return m_file->renameTo(ListFile::Name, error); }
    bool syncDirectory(ListFile::Error *error) { return m_file->syncDirectory(error); }
    // Removes the new file, if any.
    void discard() { m_file.reset(); }
    const ListFile::Error &error() const { return m_error; }

private:
    static constexpr qsizetype Chunk = 1 << 20;

    void flush()
    {
        if (m_file && !m_file->write(m_buffer.constData(), m_buffer.size(), &m_error))
            stopWriting();
        m_flushed += m_buffer.size();
        m_buffer.resize(0);
    }

    // cancel() is safe from within the walk's own calls.
    void stopWriting()
    {
        m_file.reset();
        m_failed = true;
        m_run.m_walk->cancel();
    }

    ListRun &m_run;
    // Held until the new file is renamed or removed.
    RunLock m_lock;
    std::optional<ListFile> m_file;
    ListFile::Error m_error;
    QByteArray m_buffer;
    qint64 m_flushed = 0;
    bool m_failed = false;
    LocalClock m_clock;
    ListChanges m_changes;
};

int ListRun::estimatedPercent() const
{
    const qint64 old = m_oldSize.load(std::memory_order_relaxed);
    if (old <= 0)
        return -1;
    // The walk goes on: never done before it is.
    return int(qMin<qint64>(99, m_written.load(std::memory_order_relaxed) * 100 / old));
}

QStringList ListRun::excludedNames()
{
    return {QStringLiteral("source"), QStringLiteral("temp"),    QStringLiteral("docs"),
            QStringLiteral("data"),   QStringLiteral("install"), QStringLiteral("backup"),
            QStringLiteral("logs")};
}

ListRun::ListRun(const QByteArray &source, int threads, const RunSettings &settings)
    : m_source(source), m_outOfMemoryLine(Message::outOfMemory(QString::fromUtf8(source))),
      m_settings(settings),
      m_walk(std::make_unique<DirectoryWalk>(source, excludedNames(),
                                             QByteArrayList{ListFile::NewName}, threads))
{
}

ListRun::~ListRun() = default;

void ListRun::cancel()
{
    m_walk->cancel();
}

void ListRun::cancelFromSignal() noexcept
{
    m_walk->cancelFromSignal();
}

ListRun::Outcome ListRun::run()
{
    Outcome outcome = Outcome::Failed;
    // What throws has unwound the writer by now, which removed its new file.
    try {
        outcome = walkAndSave();
    } catch (const std::bad_alloc &) {
        debugLine(m_outOfMemoryLine);
    } catch (const std::exception &e) {
        try {
            debugLine(Message::internalError(QString::fromUtf8(m_source),
                                             QString::fromLocal8Bit(e.what())));
        } catch (const std::bad_alloc &) {
            debugLine(m_outOfMemoryLine);
        }
    }
    debugLine(outcomeLine(outcome));
    return outcome;
}

QString ListRun::outcomeLine(Outcome outcome) const
{
    switch (outcome) {
    case Outcome::Saved:
        return m_savedLine;
    case Outcome::HeldBack:
        return m_heldBack;
    case Outcome::SaveFailed:
        return Message::notSavedWrite();
    case Outcome::Cancelled:
        return Message::cancelled();
    case Outcome::Failed:
        break;
    }
    return Message::notSavedTree();
}

ListRun::Outcome ListRun::walkAndSave()
{
    if (isFileSystemRoot(m_source)) {
        debugLine(Message::wholeFileSystem(QString::fromUtf8(m_source)));
        return Outcome::Failed;
    }
    Writer writer(*this);
    const DirectoryWalk::Result result = m_walk->run(writer);
    const QString dir = QString::fromUtf8(m_source) + QDir::separator();
    // Without the marker nothing was read.
    if (!m_heldBack.isEmpty())
        return Outcome::HeldBack;
    if (result == DirectoryWalk::Result::Failed) {
        writer.discard();
        return Outcome::Failed;
    }
    if (writer.failed() || (result == DirectoryWalk::Result::Exact && !writer.finish())) {
        debugLine(Message::cannotWrite(dir + QLatin1String(ListFile::NewName), writer.error().text()));
        return Outcome::SaveFailed;
    }
    // The last moment a cancel can keep the previous list.
    if (result == DirectoryWalk::Result::Cancelled || m_walk->isCancelled()) {
        writer.discard();
        return Outcome::Cancelled;
    }
    m_heldBack = writer.changes().heldBack(m_lines);
    if (!m_heldBack.isEmpty()) {
        writer.discard();
        return Outcome::HeldBack;
    }
    // Made before the list is put in place, so that nothing is left to fail
    // once it is.
    const std::optional<ChangeCounts> counts = writer.changes().counts();
    m_savedLine = Message::saved(dir + QLatin1String(ListFile::Name), m_lines, m_unreadDirectories,
                                 counts ? &*counts : nullptr);
    ListFile::Error error;
    if (!writer.renameOver(&error)) {
        debugLine(Message::cannotReplace(dir + QLatin1String(ListFile::Name), error.text()));
        writer.discard();
        return Outcome::SaveFailed;
    }
    // The new list is in place: clients read it from now on.
    try {
        if (!writer.syncDirectory(&error))
            debugLine(Message::cannotSync(QString::fromUtf8(m_source), error.text()));
        writer.changes().publish();
    } catch (const std::bad_alloc &) {
        // A line, or the changes file, is lost; the list is in place all the
        // same.
    }
    return Outcome::Saved;
}
