// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "walknotice.h"

#include "messages.h"

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
        return Message::excluded(p);
    case Kind::Missing:
        return Message::missing(p);
    case Kind::Unreadable:
        return Message::cannotRead(p, error.text());
    case Kind::CannotStat:
        return Message::cannotStat(p, error.text());
    case Kind::LineBreak:
        return Message::lineBreak(p);
    case Kind::NotText:
        return Message::nameNotText(p);
    case Kind::OutOfMemory:
        return Message::outOfMemory(p);
    case Kind::Cycle:
        return Message::leadsBack(p, shown(target, rootSize));
    }
    return QString();
}
