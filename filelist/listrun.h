// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "runsettings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class DirectoryWalk;

// One run of the program's job: walks the source directory and writes its
// list, line by line as the walk goes, into filelist.sync.new inside it, then
// puts that in place of filelist.sync. Memory does not grow with the tree.
// The old list is replaced only by an exact new one: when the tree cannot be
// listed exactly, the new file cannot be written, or the run is cancelled,
// the new file is removed and the old list stays as it was. Runs on one
// directory take turns: one that finds another on it waits, and then lists
// what that one left. A source that is the file system's root is refused.
// The new list is compared with the one it replaces as it is written, and
// the outcome line counts what it changes. Guards may hold a complete new
// list back (the settings): one that would empty a list with entries, one
// that would delete more than a limit, or any, when the source lacks a
// marker. Every debug line of the run is printed from here (ListChanges
// included), in walk order, the last one saying how the run went, and no
// exception leaves it.
class ListRun
{
public:
    // HeldBack: a guard kept the previous list.
    enum class Outcome { Saved, Failed, SaveFailed, Cancelled, HeldBack };

    // The top-level names that are never listed, in the order they are checked.
    static QStringList excludedNames();

    // source in UTF-8, as given; threads: how many read directories at once,
    // 0 to let the walk choose.
    explicit ListRun(const QByteArray &source, int threads = 1,
                     const RunSettings &settings = {});
    ~ListRun();

    Outcome run();
    // These may be called from any thread while run() goes on.
    void cancel();
    // The same from a signal handler, when the run's own thread is the one
    // the signal would have to reach (directorywalk.h).
    void cancelFromSignal() noexcept;
    qint64 entriesListed() const { return m_listed.load(std::memory_order_relaxed); }
    // Whether the run waits for another run on the same directory to end.
    bool isWaiting() const { return m_waiting.load(std::memory_order_relaxed); }
    // How far along the walk is, in percent: the bytes of the new list so far
    // against the size of the list it will replace (the old list is never
    // read), at most 99; -1 without an old list to go by.
    int estimatedPercent() const;

private:
    class Writer;

    Outcome walkAndSave();
    // The last line; it allocates nothing, as memory may have run out.
    QString outcomeLine(Outcome outcome) const;

    QByteArray m_source;
    // Made beforehand: memory may have run out by the time they are told.
    const QString m_outOfMemoryLine;
    QString m_savedLine;
    RunSettings m_settings;
    std::unique_ptr<DirectoryWalk> m_walk;
    std::atomic<qint64> m_listed{0};
    std::atomic<qint64> m_written{0};
    std::atomic<qint64> m_oldSize{-1};
    std::atomic<bool> m_waiting{false};
    // Counted on the walk's thread, read once it is over.
    qint64 m_lines = 0; // written to the new list
    qint64 m_unreadDirectories = 0; // left out for want of permission
    QString m_heldBack; // the outcome line of a guard that held the list back
};
