// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "messages.h"

#include <QDebug>

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

} // namespace Message

void debugLine(const QString &text)
{
    qDebug().noquote() << text;
}
