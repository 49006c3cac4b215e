// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "changecounts.h"

#include <QString>
#include <QStringList>

// Every line the program prints, in one place, so that they can be held
// against the README's table of messages. Paths come in as they are to be
// shown; each function only puts the words around them.
namespace Message {

QString sourceIs(const QString &dir);
QString notConfigured();
QString notText(const QString &dir);
QString wholeFileSystem(const QString &dir);
// One piece of the source is empty (first: the first piece), and why:
// variableNotSet(), variableEmpty() or argumentEmpty().
QString emptyPiece(bool first, const QString &why, const QString &dir);
QString variableNotSet(const QString &name);
QString variableEmpty(const QString &name);
QString namesNoVariable(const QString &argument);
// argument: 1 or 2, or 0 when there is only one.
QString argumentEmpty(int argument);
// displays: the variables that named the displays tried, as NAME=VALUE.
QString runningOffscreen(const QStringList &displays);

QString excluded(const QString &name);
QString missing(const QString &path);
QString cannotRead(const QString &dir, const QString &reason);
QString cannotStat(const QString &path, const QString &reason);
QString lineBreak(const QString &dir);
QString nameNotText(const QString &dir);
QString leadsBack(const QString &link, const QString &target);
QString outOfMemory(const QString &dir);
QString internalError(const QString &dir, const QString &what);

QString cannotWrite(const QString &file, const QString &reason);
QString cannotReplace(const QString &file, const QString &reason);
QString cannotSync(const QString &dir, const QString &reason);
QString waiting(const QString &dir);
QString cannotLock(const QString &dir, const QString &reason);
QString cancelled();

// The changes against the previous list are not counted, and why; line: the
// number of the line of the list that says it.
QString countsOutOfOrder(const QString &listFile, qint64 line);
QString countsNotListLine(const QString &listFile, qint64 line);
QString countsLineTooLong(const QString &listFile, qint64 line, qint64 limit);
QString countsNotText(const QString &listFile, qint64 line);
QString countsCutOff(const QString &listFile);
QString countsUnreadable(const QString &listFile, const QString &reason);
QString cannotWriteChanges(const QString &file, const QString &reason);

// A variable of the guards or the changes file that does not hold what it
// should, as NAME=VALUE: nothing is listed.
QString badDeleteLimit(const QString &assignment);
QString badMarker(const QString &assignment);
QString badChangesFile(const QString &assignment);

// The last line of every run with a valid argument count: how it went.
// counts: null when there was no previous list to count against.
QString saved(const QString &listFile, qint64 entries, qint64 unreadDirectories,
              const ChangeCounts *counts = nullptr);
QString notSavedTree();
QString notSavedWrite();
// A guard held the new list back. previousEntries: -1 for a previous list
// that could not be counted; limit: the deletion limit as it was set.
QString heldEmpty(qint64 previousEntries);
QString heldDeletions(qint64 gone, qint64 previousEntries, const QString &limit);
QString heldNoMarker(const QString &marker);

// What --help and --version print, on standard output.
QString usage();
QString version();

} // namespace Message

// Prints one of the program's lines to the debug output, as it is: never
// taken as a format.
void debugLine(const QString &text);
// Writes text to standard output as it is, for --help and --version.
void outputText(const QString &text);
