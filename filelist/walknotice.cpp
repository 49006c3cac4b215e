// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "walknotice.h"

#include <QDebug>
#include <QDir>

namespace {

QString shown(QByteArray path, qsizetype rootSize)
{
    const char separator = QDir::separator().toLatin1();
    for (qsizetype i = rootSize; i < path.size(); ++i) {
        if (path.at(i) == '/')
            path[i] = separator;
    }
    return QString::fromUtf8(path);
}

} // namespace

QString WalkNotice::text() const
{
    const QString p = shown(path, rootSize);
    switch (kind) {
    case Kind::Excluded:
        return p + QStringLiteral(" excluded");
    case Kind::Missing:
        return QStringLiteral("filelist: this path is not valid/available: ") + p;
    case Kind::Unreadable:
        return QStringLiteral("filelist: cannot read directory ") + p + QStringLiteral(": ")
                + reason;
    case Kind::CannotStat:
        return QStringLiteral("filelist: cannot stat ") + p + QStringLiteral(": ") + reason;
    case Kind::LineBreak:
        return QStringLiteral("filelist: skipping a name with a line break in ") + p;
    case Kind::NotText:
        return QStringLiteral("filelist: skipping a name that is not valid text in ") + p;
    case Kind::OutOfMemory:
        return QStringLiteral("filelist: out of memory while listing ") + p;
    case Kind::Cycle:
        return QStringLiteral("filelist: not entering ") + p
                + QStringLiteral(": it leads back to ") + shown(target, rootSize);
    }
    return QString();
}

void debugLine(const QString &text)
{
    qDebug().noquote() << text;
}
