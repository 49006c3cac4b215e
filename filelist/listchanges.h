// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "changecounts.h"
#include "changesfile.h"
#include "listdiff.h"
#include "runsettings.h"

#include <QByteArrayView>
#include <QString>

#include <optional>

class DirectoryReader;
class DirectoryWalk;
class FileEntry;

// What a new list changes against the one it will replace, and the guards
// that decide whether it may: the marker the source must hold, before
// anything is read; once the list is complete, an empty list never replaces
// one with entries, and the deletion limit. Clients delete what a list
// leaves out, so when in doubt a list is held back: a previous list that is
// there but cannot be compared counts as one with entries, though not
// against the deletion limit, which needs the counts. The changes file is
// written as the new list is, and put in place after it. Every line it
// prints goes out in walk order. Touched by the walk's thread only.
class ListChanges
{
public:
    // listPath: the list file's path as lines show it.
    ListChanges(const RunSettings &settings, const QString &listPath);

    // Whether the source holds the marker asked for; when not, heldLine
    // gets the outcome line.
    bool holdsMarker(const DirectoryReader &source, const QString &sourcePath,
                     QString *heldLine) const;
    // Once the top level is read, where the new list is made: the list it
    // replaces, a regular file of previousSize bytes, or none (-1).
    void comparePrevious(const DirectoryReader &source, qint64 previousSize);
    // The next line of the new list, without its line end, and its entry.
    void add(const FileEntry &entry, QByteArrayView line);
    // The new list is complete: what is left of the previous list is gone.
    // The walk's cancel is heeded between reads.
    void finish(const DirectoryWalk &walk);
    // The line of the guard that holds the new list of lines entries back;
    // empty when it may replace the previous one.
    QString heldBack(qint64 lines) const;
    // Known for a list compared to its end.
    std::optional<ChangeCounts> counts() const;
    // The new list is in place.
    void publish();

private:
    // The previous list could not be compared: no counts, no changes file.
    void stopComparing();
    QString changesPath() const { return QString::fromUtf8(m_settings.changesFile); }

    const RunSettings &m_settings;
    const QString m_listPath;
    qint64 m_previousSize = -1;
    bool m_previousUnknown = false; // there, but not compared
    bool m_ownLine = false; // the new list names the list file itself
    // The changes file outlives the comparison that writes to it.
    std::optional<ChangesFile> m_changes;
    bool m_changesTold = false; // it could not be written, and a line said so
    std::optional<ListDiff> m_diff;
};
