// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "messages.h"

#include <QDebug>
#include <QDir>

#include <cstdio>

namespace {

QString counted(qint64 n, const char *one, const char *many)
{
    return QString::number(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

QString notCounted(const QString &why)
{
    return QStringLiteral("filelist: the changes are not counted: ") + why;
}

QString heldBack(const QString &why)
{
    return QStringLiteral("filelist: not saved, the previous list is kept (") + why + u')';
}

} // namespace

namespace Message {

QString sourceIs(const QString &dir)
{
    return QStringLiteral("source is ") + dir;
}

QString notConfigured()
{
    return QStringLiteral("no source directory configured: both parts of the source are empty");
}

QString notText(const QString &dir)
{
    return QStringLiteral("no source directory: the source is not valid text: ") + dir;
}

QString wholeFileSystem(const QString &dir)
{
    return QStringLiteral("no source directory: the source is the root of the file system: ") + dir;
}

QString emptyPiece(bool first, const QString &why, const QString &dir)
{
    return QStringLiteral("filelist: the %1 part of the source is empty (")
                   .arg(first ? QStringLiteral("first") : QStringLiteral("second"))
            + why + QStringLiteral("): listing ") + dir;
}

QString variableNotSet(const QString &name)
{
    return name + QStringLiteral(" is not set");
}

QString variableEmpty(const QString &name)
{
    return name + QStringLiteral(" is empty");
}

QString namesNoVariable(const QString &argument)
{
    return argument + QStringLiteral(" names no variable");
}

QString argumentEmpty(int argument)
{
    switch (argument) {
    case 1:
        return QStringLiteral("the first argument is empty");
    case 2:
        return QStringLiteral("the second argument is empty");
    }
    return QStringLiteral("the argument is empty");
}

QString runningOffscreen(const QStringList &displays)
{
    return QStringLiteral("cannot open the display (") + displays.join(QStringLiteral(", "))
            + QStringLiteral("): running offscreen, without a window");
}

QString excluded(const QString &name)
{
    return name + QStringLiteral(" excluded");
}

QString missing(const QString &path)
{
    return QStringLiteral("filelist: this path is not valid/available: ") + path;
}

QString cannotRead(const QString &dir, const QString &reason)
{
    return QStringLiteral("filelist: cannot read directory ") + dir + QStringLiteral(": ") + reason;
}

QString cannotStat(const QString &path, const QString &reason)
{
    return QStringLiteral("filelist: cannot stat ") + path + QStringLiteral(": ") + reason;
}

QString lineBreak(const QString &dir)
{
    return QStringLiteral("filelist: skipping a name with a line break in ") + dir;
}

QString nameNotText(const QString &dir)
{
    return QStringLiteral("filelist: skipping a name that is not valid text in ") + dir;
}

QString leadsBack(const QString &link, const QString &target)
{
    return QStringLiteral("filelist: not entering ") + link + QStringLiteral(": it leads back to ")
            + target;
}

QString outOfMemory(const QString &dir)
{
    return QStringLiteral("filelist: out of memory while listing ") + dir;
}

QString internalError(const QString &dir, const QString &what)
{
    return QStringLiteral("filelist: internal error while listing ") + dir + QStringLiteral(": ")
            + what;
}

QString cannotWrite(const QString &file, const QString &reason)
{
    return QStringLiteral("filelist: cannot write ") + file + QStringLiteral(": ") + reason;
}

QString cannotReplace(const QString &file, const QString &reason)
{
    return QStringLiteral("filelist: cannot replace ") + file + QStringLiteral(": ") + reason;
}

QString cannotSync(const QString &dir, const QString &reason)
{
    return QStringLiteral("filelist: cannot sync ") + dir
            + QStringLiteral(" after replacing filelist.sync: ") + reason;
}

QString waiting(const QString &dir)
{
    return QStringLiteral("filelist: waiting for another run on ") + dir;
}

QString cannotLock(const QString &dir, const QString &reason)
{
    return QStringLiteral("filelist: cannot lock ") + dir + QStringLiteral(" against other runs: ")
            + reason;
}

QString cancelled()
{
    return QStringLiteral("filelist: cancelled, the previous list is kept");
}

QString countsOutOfOrder(const QString &listFile, qint64 line)
{
    return notCounted(listFile + QStringLiteral(" is not in this program's order (line %1)").arg(line));
}

QString countsNotListLine(const QString &listFile, qint64 line)
{
    return notCounted(QStringLiteral("line %1 of ").arg(line) + listFile
                      + QStringLiteral(" is not a list line"));
}

QString countsLineTooLong(const QString &listFile, qint64 line, qint64 limit)
{
    return notCounted(QStringLiteral("line %1 of ").arg(line) + listFile
                      + QStringLiteral(" is longer than %1 bytes").arg(limit));
}

QString countsNotText(const QString &listFile, qint64 line)
{
    return notCounted(listFile + QStringLiteral(" is not text (line %1)").arg(line));
}

QString countsCutOff(const QString &listFile)
{
    return notCounted(listFile + QStringLiteral(" ends in the middle of a line (cut off?)"));
}

QString countsUnreadable(const QString &listFile, const QString &reason)
{
    return notCounted(QStringLiteral("cannot read ") + listFile + QStringLiteral(": ") + reason);
}

QString cannotWriteChanges(const QString &file, const QString &reason)
{
    return QStringLiteral("filelist: cannot write the changes file ") + file + QStringLiteral(": ")
            + reason;
}

QString badDeleteLimit(const QString &assignment)
{
    return QStringLiteral("filelist: ") + assignment
            + QStringLiteral(" is neither a number of entries (100) nor a percentage (10%): "
                             "nothing is listed");
}

QString badMarker(const QString &assignment)
{
    return QStringLiteral("filelist: ") + assignment
            + QStringLiteral(" is not a name in the source's top level: nothing is listed");
}

QString badChangesFile(const QString &assignment)
{
    return QStringLiteral("filelist: ") + assignment
            + QStringLiteral(" does not name a file: nothing is listed");
}

QString saved(const QString &listFile, qint64 entries, qint64 unreadDirectories,
              const ChangeCounts *counts)
{
    QString text = QStringLiteral("filelist: saved ") + listFile + QStringLiteral(" (")
            + counted(entries, "entry", "entries");
    if (counts)
        text += QStringLiteral(": %1 new, %2 changed, %3 gone")
                        .arg(counts->added)
                        .arg(counts->changed)
                        .arg(counts->gone);
    if (unreadDirectories > 0)
        text += QStringLiteral(", ") + counted(unreadDirectories, "directory", "directories")
                + QStringLiteral(" could not be read");
    return text + u')';
}

QString heldEmpty(qint64 previousEntries)
{
    const QString list = previousEntries < 0
            ? QStringLiteral("a list that names entries")
            : QStringLiteral("a list of ") + counted(previousEntries, "entry", "entries");
    return heldBack(QStringLiteral("the new list would empty ") + list
                    + QStringLiteral(": is the share mounted? VORN_FILESYNC_LIST_ALLOW_EMPTY=1 lets "
                                     "it through"));
}

QString heldDeletions(qint64 gone, qint64 previousEntries, const QString &limit)
{
    return heldBack(QStringLiteral("the new list would delete %1 of %2, more than "
                                   "VORN_FILESYNC_LIST_MAX_DELETE=")
                            .arg(gone)
                            .arg(counted(previousEntries, "entry", "entries"))
                    + limit + QStringLiteral(" allows: a higher limit lets it through"));
}

QString heldNoMarker(const QString &marker)
{
    return heldBack(QStringLiteral("the source holds no ") + marker
                    + QStringLiteral(", which VORN_FILESYNC_LIST_MARKER asks for: is the share "
                                     "mounted? creating ")
                    + marker + QStringLiteral(" there lets the list through"));
}

QString notSavedTree()
{
    return QStringLiteral("filelist: not saved, the previous list is kept (the tree could not be "
                          "listed exactly)");
}

QString notSavedWrite()
{
    return QStringLiteral("filelist: not saved, the previous list is kept (the list could not be "
                          "written)");
}

QString usage()
{
    const QString sep = QDir::separator();
    return QStringLiteral("Usage: vorn_filesync_list [Qt options]              lists $CC_SERVER_ROOT")
            + sep + QStringLiteral("$CC_SYSTEM\n"
                                   "       vorn_filesync_list [Qt options] SYSTEM       lists $CC_SERVER_ROOT")
            + sep + QStringLiteral("SYSTEM\n"
                                   "       vorn_filesync_list [Qt options] ROOT SYSTEM  lists ROOT")
            + sep + QStringLiteral(
                    "SYSTEM\n"
                    "Saves filelist.sync in the source directory: one line per file and directory\n"
                    "with its relative path, modification time and size. An argument %NAME%\n"
                    "stands for the value of the environment variable NAME.\n"
                    "\n"
                    "Variables: CC_SERVER_ROOT and CC_SYSTEM (the source), TZ (the zone of the\n"
                    "times), VORN_FILESYNC_LIST_EXIT_STATUS=1 (exit status 0 saved, 1 failed,\n"
                    "2 not written, 3 cancelled, 4 wrong argument count, 5 held back by a\n"
                    "guard; 0 without it), the guards VORN_FILESYNC_LIST_MARKER=NAME,\n"
                    "VORN_FILESYNC_LIST_MAX_DELETE=N or P% and VORN_FILESYNC_LIST_ALLOW_EMPTY=1,\n"
                    "VORN_FILESYNC_LIST_CHANGES=FILE (the names of what a saved list changed),\n"
                    "VORN_FILESYNC_LIST_THREADS, QT_QPA_PLATFORM.\n"
                    "The last line on standard error says how the run went.\n"
                    "Manual: man vorn_filesync_list (on Windows, vorn_filesync_list.txt).\n");
}

QString version()
{
    return QStringLiteral("vorn_filesync_list " VORN_VERSION "\n");
}

} // namespace Message

void debugLine(const QString &text)
{
    // Straight to the handler, as qDebug() would after its stream, which
    // allocates: memory may have run out.
    qt_message_output(QtDebugMsg, QMessageLogContext(), text);
}

void outputText(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}
