// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "changecounts.h"
#include "previouslist.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class ChangesFile;
class FileEntry;

// Counts what a new list changes against the previous one, as the new list is
// written: both are in walk order, so the two are merged as they stream by,
// holding neither; most new lines are the previous list's next line, byte for
// byte, which costs one comparison. The list's own line (filelist.sync, at the
// top) changes at every run and is left out on both sides. The previous list
// is input the program may not have written: a line that does not parse, one
// out of walk order, a list cut off, one that is not text or cannot be read
// ends the counting with a line that says why (problem()), and nothing more
// is counted. Only the previous lines that are not the new list's are parsed
// and checked, and one that is gone against the line before it, which is all
// the merge relies on. Touched by the walk's thread only.
class ListDiff
{
public:
    // previous: open at its start; changes: where each change goes, or
    // nullptr; listFile: the previous list's path as lines show it.
    ListDiff(PreviousList previous, ChangesFile *changes, const QString &listFile);

    // The next line of the new list, without its line end, and its entry.
    void add(const FileEntry &entry, QByteArrayView line);
    // Once the new list is complete: what is left of the previous list is
    // gone. Reads at most lines lines of it; true while more is left.
    bool finishSome(qint64 lines);

    // Whether the counting gave up, and the line that says why.
    bool gaveUp() const { return !m_problem.isEmpty(); }
    const QString &problem() const { return m_problem; }
    const ChangeCounts &counts() const { return m_counts; }
    // The previous list's entries so far, its own line left out.
    qint64 previousEntries() const { return m_previousEntries; }

private:
    // Makes the previous list's next entry current; false at its end, or
    // when the counting gave up.
    bool readPrevious();
    // Whether the current previous line is a list line; m_name is its name.
    bool check();
    // The current previous entry is gone, if it comes after the one before.
    bool gone(QByteArrayView name);
    void change(char kind, QByteArrayView name);
    void giveUp(const QString &line);

    PreviousList m_previous;
    ChangesFile *m_changes;
    QString m_listFile;
    QByteArrayView m_line; // the current previous line, when m_current
    bool m_current = false;
    // Once checked, its name: a line may stay current while many new ones
    // come before it.
    QByteArrayView m_name;
    bool m_checked = false;
    bool m_ended = false;
    QString m_problem;
    ChangeCounts m_counts;
    qint64 m_previousEntries = 0;
};
